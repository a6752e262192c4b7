# orvel-cli find: the hit count, one row line per shown hit, the search options and the exit statuses.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

printf '{"name": "Ada", "Names": ["ada", "Bob"], "team": {"lead": "ADA", "size": 3}, "note": "a\\tb"}' \
    >"$TMP/people.json"
printf '{"a":1}\n{"a":\n{"b":"ada"}\n' >"$TMP/records.jsonl"
long=$(printf 'x%.0s' {1..300})
printf '{"text": "%s"}' "$long" >"$TMP/long.json"

# Case is ignored unless --case; keys and values both count; each hit is its node id, a tab and its row.
run find "$TMP/people.json" ada
expect_rc 0 "hits found"
expect_out_has "hits: 3" "hit count ignoring case"
expect_out_has $'1\tname: "Ada"' "member row"
expect_out_has $'3\t[0] "ada"' "array element row"
expect_out_has $'6\tlead: "ADA"' "nested member row"
expect_err "" "no messages"
run find --case "$TMP/people.json" Ada
expect_out_has "hits: 1" "hit count with case"

# A hit that holds others is shown collapsed, with its preview, before the later hits open it.
run find "$TMP/people.json" name
expect_out_has "hits: 2" "key hits"
expect_out_has $'2\tNames: [2]  ["ada", "Bob"]' "container hit shown collapsed"
run find --keys "$TMP/people.json" ada
expect_rc 1 "keys only: nothing"
expect_out_has "hits: 0" "keys only count"
run find --values "$TMP/people.json" name
expect_rc 1 "values only: nothing"
run find --regex "$TMP/people.json" '^[A-Z]{3}$'
expect_out_has "hits: 4" "regular expression, case ignored by default"
run find --regex --case "$TMP/people.json" '^B'
expect_out_has $'4\t[1] "Bob"' "regular expression with case"

# Control characters show as pictures, so a row stays one line.
run find "$TMP/people.json" 'a	b'
expect_out_has $'8\tnote: "a\xe2\x87\xa5b"' "tab shown as its picture"

# --max limits the rows, not the count.
run find --max 1 "$TMP/people.json" a
expect_out_has "hits: 6" "every hit counted"
expect "one row printed" test "$(wc -l <<<"$out")" -eq 2
run find --max=0 "$TMP/people.json" a
expect "count only" test "$out" = "hits: 6"

# Rows are 120 characters wide.
run find "$TMP/long.json" xxx
expect_out_has $'1\ttext: "'"${long:0:111}"$'\xe2\x80\xa6"' "long value cut to the width"

# Unreadable records are searched in their raw text and shown with their problem.
run find "$TMP/records.jsonl" a
expect_rc 0 "records"
expect_out_has $'3\tline 2 \xe2\x9a\xa0 unexpected end of line  {"a":' "unreadable record row"

# Bad queries and files: exit 2 with a message.
run find --regex "$TMP/people.json" '('
expect_rc 2 "bad regular expression"
expect_err_has "orvel-cli: invalid query '(': " "bad regular expression message"
run find "$TMP/people.json" ''
expect_rc 2 "empty query"
expect_err "orvel-cli: invalid query '': the query is empty" "empty query message"
run find "$TMP/missing.json" a
expect_rc 2 "missing file"
expect_err "orvel-cli: cannot read '$TMP/missing.json': No such file or directory" "missing file message"
run find "$TMP/people.json"
expect_rc 2 "query missing"
run find --keys --values "$TMP/people.json" a
expect_rc 2 "keys and values together"
run find --max x "$TMP/people.json" a
expect_rc 2 "bad --max"
run find --max
expect_rc 2 "--max without a number"
run find --min "$TMP/people.json" a
expect_rc 2 "option of another command"

# -- lets a query start with a dash.
printf '[-5, 5]' >"$TMP/dash.json"
run find "$TMP/dash.json" -- -5
expect_rc 0 "query after --"
expect_out_has $'1\t[0] -5' "dash query row"

finish
