# orvel-cli json: the document written back out, pretty and minified, with parse's exit statuses.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

printf '{"a":[1,2],"b":{}}' >"$TMP/small.json"
printf '// settings\n{a: 1, "b": [true,],}\n' >"$TMP/lenient.json5"
printf '[1,2' >"$TMP/unclosed.json"
: >"$TMP/empty.json"

run json "$TMP/small.json"
expect_rc 0 "pretty output"
expected=$'{\n  "a": [\n    1,\n    2\n  ],\n  "b": {}\n}'
[[ $out == "$expected" ]] || fail "pretty output text"
run json --min "$TMP/small.json"
expect_rc 0 "minified output"
[[ $out == '{"a":[1,2],"b":{}}' ]] || fail "minified output text"

# Lenient input comes out as plain JSON; --strict turns the same forms into problems (exit 1).
run json --min "$TMP/lenient.json5"
expect_rc 0 "lenient input"
[[ $out == '{"a":1,"b":[true]}' ]] || fail "lenient input becomes plain JSON"
run json --min --strict "$TMP/lenient.json5"
expect_rc 1 "lenient input, strict"

# What was read before a problem is still written.
run json --min "$TMP/unclosed.json"
expect_rc 1 "unclosed array"
[[ $out == '[1,2]' ]] || fail "unclosed array keeps its elements"
run json "$TMP/empty.json"
expect_rc 0 "empty file"
[[ -z $out ]] || fail "empty file writes nothing"

run json "$TMP/missing.json"
expect_rc 2 "missing file"
expect_err "orvel-cli: cannot read '$TMP/missing.json': No such file or directory" "missing file message"
run json "$TMP/small.json" "$TMP/small.json"
expect_rc 2 "json takes one file"

finish
