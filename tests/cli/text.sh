# orvel-cli text: the Text view's lines, re-indented or as in the file, whole or cut at a width.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

printf '{"a": [1, 2], // note\n "b": {}}\n' >"$TMP/doc.json"
printf '{"a":1}\n{"a":\n[2]\n' >"$TMP/records.jsonl"

run text "$TMP/doc.json"
expect_rc 0 "pretty"
expect "pretty lines" test "$out" = $'{\n  "a": [\n    1,\n    2\n  ],\n  "b": {}\n}'
run text --source --width 12 "$TMP/doc.json"
expect "the file's lines, cut at 12 characters" test "$out" = $'{"a": [1, 2\u2026\n "b": {}}'
run text "$TMP/records.jsonl"
expect_rc 1 "a broken record"
expect "records without commas, the broken one marked" test "$out" = \
    $'{\n  "a": 1\n}\n\u26a0 line 2: unexpected end of line: {"a":\n[\n  2\n]'
run text --width x "$TMP/doc.json"
expect_rc 2 "a width that is no number"
finish
