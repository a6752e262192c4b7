# orvel-cli inspect: the details of the node a typed path names; the exit statuses.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

printf '{"a": {"b c": [1, 2, "x\\ty"]}, "a": 2}' >"$TMP/doc.json"
printf '{"a":1}\n{"a":\n' >"$TMP/records.jsonl"

run inspect --style jq "$TMP/doc.json" '$.a'
expect_rc 0 "an object"
expect "object: summary, path, repeated key, pretty JSON" test "$out" = \
    $'object \u00b7 1 key \u00b7 23 bytes\n.a\nThis key appears 2 times in its object.\n\n{\n  "b c": [\n    1,\n    2,\n    "x\\ty"\n  ]\n}'
run inspect "$TMP/doc.json" '/a/b c/2'
expect "a string is shown decoded" test "$out" = $'string \u00b7 3 characters \u00b7 6 bytes\n$.a[\'b c\'][2]\n\nx\ty'
run inspect --style js "$TMP/doc.json" ''
expect_out_has $'\n(root)\n' "the root in a style without a root path"

run inspect "$TMP/records.jsonl" '$[1]'
expect_rc 1 "a broken record"
expect_out_has $'\n\nexpected a value\n\n{"a":' "the record's message first"

run inspect "$TMP/doc.json" '$.zz'
expect_rc 1 "no such node"
expect_err_has 'No key "zz" in $' "the reason"
run inspect "$TMP/doc.json"
expect_rc 2 "no PATH"
finish
