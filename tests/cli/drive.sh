# orvel-cli drive and rows: a user's journey through a document, told as script lines, with what the
# window would show and copy written out by hand.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

printf '{"name": "Ada", "tags": ["x", "y"], "n": {"deep": [1, {"k": null}]}, "bob": true}\n' >"$TMP/doc.json"
# The same document after an edit: a key in front, an element more.
printf '{"id": 7, "name": "Ada", "tags": ["x", "y", "z"], "n": {"deep": [1, {"k": null}]}, "bob": true}\n' \
    >"$TMP/edited.json"
printf '{"a":1}\n{"a":\n[2]\n{"b": "bee"}\n' >"$TMP/records.jsonl"

# drive WHAT FILE: runs the script on standard input over FILE; expects exit status 0 and the output
# given on the descriptor 3 (a here-document), line for line.
drive() {
    local what=$1 file=$2
    run drive "$file"
    expect_rc 0 "$what"
    local want
    want=$(cat <&3)
    expect "$what: output differs: $(diff <(echo "$want") <(echo "$out") | head -20)" test "$out" = "$want"
}

ROWS=$'0|v|root {4}\n1|-|name: "Ada"\n1|v|tags: [2]\n2|-|[0] "x"\n2|-|[1] "y"\n1|v|n: {1}\n2|v|deep: [2]'
STATE_END=$'range=-\nsearch=-\nerrorbar=-\nstatus=82 bytes \u00b7 11 values \u00b7 JSON'

run rows "$TMP/doc.json"
expect_rc 0 "rows: the default expansion"
expect "rows: three levels open" test "$out" = "$ROWS"$'\n3|-|[0] 1\n3|+|[1] {1}  {k: null}\n1|-|bob: true'
run rows --level 1 --from 2 --count 2 "$TMP/doc.json"
expect "rows: level 1, two rows from the third" test "$out" = $'1|+|tags: [2]  ["x", "y"]\n1|+|n: {1}  {deep: [\u2026]}'
run rows --text pretty --from 14 "$TMP/doc.json"
expect "rows: the last pretty lines" test "$out" = $'15|  "bob": true\n16|}'
run rows --all --level 2 "$TMP/doc.json"
expect_rc 2 "rows: --all and --level together"

# Paths, go to path and history, search following, levels, keys and type-to-select in the tree.
drive "tree journey" "$TMP/doc.json" <<'SCRIPT' 3<<EXPECTED
click 8 chevron
key down
copy path-jq
copy path-pointer
copy path-js
copy path-python
goto $.tags[1]
copy value
goto $.nope
back
dump state
forward
crumb 1
dump state
search deep
dump state
search y /values
find-next
dump state
search
level 1
dump rows 0 20
expand-all
dump rows 0 20
collapse-all
key right
key right
key end
dump state
key home
type 1
dump state
SCRIPT
--- copy path-jq
.n.deep[1].k
--- copy path-pointer
/n/deep/1/k
--- copy path-js
n.deep[1].k
--- copy path-python
["n"]["deep"][1]["k"]
--- copy value
y
goto-error=No key "nope" in \$
--- dump state
mode=tree
rows=11
selected=\$.n.deep[1].k
$STATE_END
--- dump state
mode=tree
rows=11
selected=\$.tags
$STATE_END
--- dump state
mode=tree
rows=11
selected=\$.n.deep
range=-
search=1 of 1
errorbar=-
status=82 bytes · 11 values · JSON
--- dump state
mode=tree
rows=11
selected=\$.tags[1]
range=-
search=1 of 1
errorbar=-
status=82 bytes · 11 values · JSON
--- dump rows 0 20
0|v|root {4}
1|-|name: "Ada"
1|+|tags: [2]  ["x", "y"]
1|+|n: {1}  {deep: […]}
1|-|bob: true
--- dump rows 0 20
$ROWS
3|-|[0] 1
3|v|[1] {1}
4|-|k: null
1|-|bob: true
--- dump state
mode=tree
rows=7
selected=\$.bob
$STATE_END
--- dump state
mode=tree
rows=7
selected=\$.tags[1]
$STATE_END
EXPECTED

# The Text view: both modes, ranges, copies of lines, back to the tree; shortcuts, double clicks,
# and a reload that keeps expansion and selection by path.
drive "text journey and reload" "$TMP/doc.json" <<SCRIPT 3<<EXPECTED
goto .tags[1]
view text
dump state
view text
dump state
dump rows 3 3
key shift+up
dump state
copy value
view tree
dump state
dump inspector
command 99
key mod+shift+]
dump rows 0 20
key alt+1
click 2 double
dump rows 0 20
copy json
reload $TMP/edited.json
dump rows 0 20
dump state
SCRIPT
--- dump state
mode=source
rows=2
selected=\$.tags[1]
range=1-1
search=-
errorbar=-
status=82 bytes · 11 values · JSON
--- dump state
mode=pretty
rows=16
selected=\$.tags[1]
range=5-5
search=-
errorbar=-
status=82 bytes · 11 values · JSON
--- dump rows 3 3
4|    "x",
5|    "y"
6|  ],
--- dump state
mode=pretty
rows=16
selected=\$.tags[0]
range=4-5
search=-
errorbar=-
status=82 bytes · 11 values · JSON
--- copy value
    "x",
    "y"
--- dump state
mode=tree
rows=10
selected=\$.tags[0]
$STATE_END
--- dump inspector
string · 1 character · 3 bytes
\$.tags[0]

x
--- dump rows 0 20
$ROWS
3|-|[0] 1
3|v|[1] {1}
4|-|k: null
1|-|bob: true
--- dump rows 0 20
0|v|root {4}
1|-|name: "Ada"
1|v|tags: [2]
2|-|[0] "x"
2|-|[1] "y"
1|+|n: {1}  {deep: […]}
1|-|bob: true
--- copy json
[
  "x",
  "y"
]
--- dump rows 0 20
0|v|root {5}
1|-|id: 7
1|-|name: "Ada"
1|v|tags: [3]
2|-|[0] "x"
2|-|[1] "y"
2|-|[2] "z"
1|+|n: {1}  {deep: […]}
1|-|bob: true
--- dump state
mode=tree
rows=9
selected=\$.tags
range=-
search=-
errorbar=-
status=96 bytes · 13 values · JSON
EXPECTED

# Records with a broken line: next problem, typing with the clock, shift-clicks in the file's lines.
drive "records journey" "$TMP/records.jsonl" <<'SCRIPT' 3<<EXPECTED
next-problem
dump state
next-problem
copy value
dump rows 0 10
key down
type b
dump state
clock 5000
type 2
copy path
view text
click 0
click 3 shift
dump state
copy value
click 9
key pagedown
dump state
SCRIPT
--- dump state
mode=tree
rows=8
selected=\$[1]
range=-
search=-
errorbar=Line 2 could not be read: unexpected end of line.
status=31 bytes · 7 values · JSON Lines (4 records)
--- copy value
{"a":
--- dump rows 0 10
0|v|records [4]
1|v|line 1 {1}
2|-|a: 1
1|-|line 2 ⚠ unexpected end of line  {"a":
1|v|line 3 [1]
2|-|[0] 2
1|v|line 4 {1}
2|-|b: "bee"
--- dump state
mode=tree
rows=8
selected=\$[3].b
range=-
search=-
errorbar=Line 2 could not be read: unexpected end of line.
status=31 bytes · 7 values · JSON Lines (4 records)
--- copy path
\$[1]
--- dump state
mode=source
rows=5
selected=\$[3]
range=1-4
search=-
errorbar=Line 2 could not be read: unexpected end of line.
status=31 bytes · 7 values · JSON Lines (4 records)
--- copy value
{"a":1}
{"a":
[2]
{"b": "bee"}
--- dump state
mode=source
rows=5
selected=\$
range=5-5
search=-
errorbar=Line 2 could not be read: unexpected end of line.
status=31 bytes · 7 values · JSON Lines (4 records)
EXPECTED

# A line that cannot run stops the script there, after what came before was printed.
for bad in "bogus|unknown command or bad arguments" "level 0|unknown command or bad arguments" \
    "level 10|unknown command or bad arguments" "crumb x|unknown command or bad arguments" \
    "view list|unknown command or bad arguments" "copy what|copy what?" "dump rows 0 x|dump what?" \
    "dump nothing|dump what?" "key ctrl+g|not a key combo" "click 1 left|click <row> [chevron] [alt] [shift]"; do
    run drive "$TMP/doc.json" <<<$'# comment\n\ncopy key\n'"${bad%%|*}"$'\ncopy json'
    expect_rc 2 "${bad%%|*}"
    expect_err "orvel-cli: line 4: ${bad#*|}" "${bad%%|*}"
    expect_out_lacks "--- copy json" "${bad%%|*}: stops at the bad line"
done
finish
