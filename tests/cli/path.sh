# orvel-cli path: the node a typed path names, its path in each style and its value; the exit statuses.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

printf '{"a": {"b c": [1, {"x": true}]}, "": 0, "it'"'"'s": "v", "$x": null}' >"$TMP/doc.json"
printf '{"a":1}\n{"a":\n[2]\n' >"$TMP/records.jsonl"
printf '[1, {"a": 2}' >"$TMP/unclosed.json"
: >"$TMP/empty.json"

# Any accepted form in; the path in the chosen style, then the value as json writes it.
styles=("" jq js python pointer)
paths=("\$.a['b c'][1]" '.a["b c"][1]' 'a["b c"][1]' '["a"]["b c"][1]' '/a/b c/1')
for i in "${!styles[@]}"; do
    for typed in "${paths[@]}"; do
        run path ${styles[i]:+--style "${styles[i]}"} "$TMP/doc.json" "$typed"
        expect_rc 0 "style ${styles[i]:-default}, typed $typed"
        expect "style ${styles[i]:-default}, typed $typed: output" test "$out" = "${paths[i]}"$'\n{\n  "x": true\n}'
    done
done
run path --style=js "$TMP/doc.json" '$["$x"]'
expect "a first \$ key in JavaScript" test "$out" = $'["$x"]\nnull'
run path --style pointer "$TMP/doc.json" "\$['it\\'s']"
expect "escaped quote" test "$out" = $'/it\'s\n"v"'
run path --style python "$TMP/doc.json" /
expect "the empty key" test "$out" = $'[""]\n0'
# The root's path is empty in some styles: an empty first line.
run path --style js "$TMP/doc.json" ''
expect_rc 0 "root"
expect "root: empty first line" test "$(head -n 1 <<<"$out")" = ""
expect_out_has '  "it'"'"'s": "v",' "root: the whole document"

# Records are the root's elements; a file with problems still answers, with exit status 1.
run path "$TMP/records.jsonl" /2/0
expect_rc 1 "records with a broken one"
expect "record element" test "$out" = $'$[2][0]\n2'
run path "$TMP/unclosed.json" '$[1].a'
expect_rc 1 "unclosed document"
expect "unclosed document still answers" test "$out" = $'$[1].a\n2'

# A path that names nothing: the reason on standard error, exit status 1.
run path "$TMP/doc.json" '$.a.z'
expect_rc 1 "missing key"
expect "missing key prints nothing" test -z "$out"
expect_err "orvel-cli: cannot resolve '\$.a.z': No key \"z\" in \$.a" "missing key message"
run path "$TMP/doc.json" '$.a["b c"][5]'
expect_err "orvel-cli: cannot resolve '\$.a[\"b c\"][5]': No item [5] in \$.a['b c'] (it has 2)" "missing item"
run path "$TMP/doc.json" '$[-1]'
expect_err "orvel-cli: cannot resolve '\$[-1]': Path not understood at character 3" "bad path"
run path "$TMP/empty.json" '$'
expect_rc 1 "empty document"
expect_err "orvel-cli: cannot resolve '\$': the document is empty" "empty document message"

# Could not run: exit status 2.
run path --style xml "$TMP/doc.json" '$'
expect_rc 2 "unknown style"
expect_err_has "orvel-cli: --style needs jsonpath, jq, js, python or pointer, not 'xml'" "unknown style message"
run path --style
expect_rc 2 "style without a name"
run path "$TMP/doc.json"
expect_rc 2 "PATH missing"
run path "$TMP/missing.json" '$'
expect_rc 2 "missing file"
expect_err "orvel-cli: cannot read '$TMP/missing.json': No such file or directory" "missing file message"
run path --min "$TMP/doc.json" '$'
expect_rc 2 "option of another command"

finish
