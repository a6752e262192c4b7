# orvel-cli find: the hit count, one row line per shown hit, the search options and the exit statuses.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

people=$TMP/people.json
printf '{"name": "Ada", "Names": ["ada", "Bob"], "team": {"lead": "ADA", "size": 3}, "note": "a\\tb"}' >"$people"
printf '{"a":1}\n{"a":\n{"b":"ada"}\n' >"$TMP/records.jsonl"
long=$(printf 'x%.0s' {1..300})
printf '{"text": "%s"}' "$long" >"$TMP/long.json"
printf '[-5, 5]' >"$TMP/dash.json"

# Case is ignored unless --case; keys and values both count; each hit is its node id, a tab and its row.
check "hits ignoring case" 0 find "$people" ada == "hits: 3" $'1\tname: "Ada"' $'3\t[0] "ada"' $'6\tlead: "ADA"'
expect_err "" "no messages"
check "hits with case" 0 find --case "$people" Ada == "hits: 1"

# A hit that holds others is shown collapsed, with its preview, before the later hits open it.
check "key hits" 0 find "$people" name == "hits: 2" $'2\tNames: [2]  ["ada", "Bob"]'
check "keys only: nothing" 1 find --keys "$people" ada == "hits: 0"
check "values only: nothing" 1 find --values "$people" name
check "regular expression, case ignored by default" 0 find --regex "$people" '^[A-Z]{3}$' == "hits: 4"
check "regular expression with case" 0 find --regex --case "$people" '^B' == $'4\t[1] "Bob"'

# Rows are 120 characters wide, with control characters as pictures, so a row stays one line.
check "tab shown as its picture" 0 find "$people" 'a	b' == $'8\tnote: "a\xe2\x87\xa5b"'
check "long value cut to the width" 0 find "$TMP/long.json" xxx == $'1\ttext: "'"${long:0:111}"$'\xe2\x80\xa6"'

# --max limits the rows, not the count.
check "--max 1" 0 find --max 1 "$people" a == "hits: 6"
expect "one row printed" test "$(wc -l <<<"$out")" -eq 2
check "--max=0" 0 find --max=0 "$people" a
expect "count only" test "$out" = "hits: 6"

# Unreadable records are searched in their raw text and shown with their problem.
check "records" 0 find "$TMP/records.jsonl" a == $'3\tline 2 \xe2\x9a\xa0 unexpected end of line  {"a":'

# -- lets a query start with a dash.
check "query after --" 0 find "$TMP/dash.json" -- -5 == $'1\t[0] -5'

# Bad queries, files and options: exit 2 with a message.
check "bad regular expression" 2 find --regex "$people" '('
expect_err_has "orvel-cli: invalid query '(': " "bad regular expression message"
check "empty query" 2 find "$people" ''
expect_err "orvel-cli: invalid query '': the query is empty" "empty query message"
check "missing file" 2 find "$TMP/missing.json" a
expect_err "orvel-cli: cannot read '$TMP/missing.json': No such file or directory" "missing file message"
check "query missing" 2 find "$people"
check "keys and values together" 2 find --keys --values "$people" a
check "bad --max" 2 find --max x "$people" a
check "--max without a number" 2 find --max
check "option of another command" 2 find --min "$people" a

finish
