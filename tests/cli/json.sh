# orvel-cli json: the document written back out, pretty and minified, with parse's exit statuses.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

printf '{"a":[1,2],"b":{}}' >"$TMP/small.json"
printf '// settings\n{a: 1, "b": [true,],}\n' >"$TMP/lenient.json5"
printf '[1,2' >"$TMP/unclosed.json"
: >"$TMP/empty.json"

run json "$TMP/small.json"
expect_rc 0 "pretty output"
expected=$'{\n  "a": [\n    1,\n    2\n  ],\n  "b": {}\n}'
expect "pretty output text" test "$out" = "$expected"
run json --min "$TMP/small.json"
expect_rc 0 "minified output"
expect "minified output text" test "$out" = '{"a":[1,2],"b":{}}'

# Lenient input comes out as plain JSON; --strict turns the same forms into problems (exit 1).
run json --min "$TMP/lenient.json5"
expect_rc 0 "lenient input"
expect "lenient input becomes plain JSON" test "$out" = '{"a":1,"b":[true]}'
run json --min --strict "$TMP/lenient.json5"
expect_rc 1 "lenient input, strict"

# What was read before a problem is still written.
run json --min "$TMP/unclosed.json"
expect_rc 1 "unclosed array"
expect "unclosed array keeps its elements" test "$out" = '[1,2]'
run json "$TMP/empty.json"
expect_rc 0 "empty file"
expect "empty file writes nothing" test -z "$out"

run json "$TMP/missing.json"
expect_rc 2 "missing file"
expect_err "orvel-cli: cannot read '$TMP/missing.json': No such file or directory" "missing file message"
run json "$TMP/small.json" '$.a' '$.b'
expect_rc 2 "json takes one file and one path"

# A PATH writes the one value it names; a PATH that names nothing is exit status 1.
run json --min "$TMP/small.json" '$.a'
expect_rc 0 "value at a path"
expect "value at a path text" test "$out" = '[1,2]'
run json "$TMP/small.json" /a/1
expect "pointer to a number" test "$out" = '2'
run json "$TMP/small.json" '$.c'
expect_rc 1 "path that names nothing"
expect_err "orvel-cli: cannot resolve '\$.c': No key \"c\" in \$" "path that names nothing message"
run json "$TMP/unclosed.json" '$[1]'
expect_rc 1 "path in a document with problems"
expect "path in a document with problems text" test "$out" = '2'

finish
