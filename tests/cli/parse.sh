# orvel-cli parse: what it prints for good, bad and unreadable files, and its exit statuses.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

sample=$ROOT/tests/samples/sample.json
dot=$'\xC2\xB7'
printf '[1,2' >"$TMP/unclosed.json"
printf '{"a" 1}' >"$TMP/colon.json"
printf '{"a": 1, // note\n "b": [true,]}\n' >"$TMP/lenient.json"
printf '{a: 1}' >"$TMP/json5.json"
printf '["a\tb"]' >"$TMP/control.json"
printf '{"a":1}\n{"a":}\n{"a":3}\n' >"$TMP/records.jsonl"
printf '{"a":1}\n{"a":}\n{"b":[1,\n\n{"c":2}\n"x" 1\n' >"$TMP/bad-lines.jsonl"
printf '{"a":1}' >"$TMP/one-record.jsonl"
printf '1 2 3' >"$TMP/values.json"
printf '\xEF\xBB\xBF[1]' >"$TMP/bom.json"
printf '\xFF\xFE[\x001\x00]\x00' >"$TMP/utf16le.json"
: >"$TMP/empty.json"
printf '[true]' >"$TMP/-dash.json"
# A good first line makes JSON Lines, then 1,254 bad lines: past the first block of 1,024 problem
# records, and enough for a grouped count.
{
    printf '{"a":1}\n'
    for ((i = 0; i < 1254; i++)); do printf '{"a":}\n'; done
} >"$TMP/many.jsonl"

# A clean file: the facts, the status line with its parse time, no error bar or problem lines.
run parse "$sample"
expect_rc 0 "clean file"
expect_out_has "$sample" "clean file header"
expect_out_has "  format: JSON value" "clean file format"
expect_out_has "  encoding: UTF-8" "clean file encoding"
expect_out_has "  syntax: standard JSON" "clean file syntax"
expect_out_has "  nodes: 190" "clean file node count"
expect_out_has "  problems: 0" "clean file problem count"
expect_out_matches "  status: 3\.5 KB $dot 190 values $dot JSON $dot parsed in (< 0\.1|[0-9,]+\.[0-9]) s" \
    "clean file status with parse time"
expect_out_lacks "error bar:" "clean file has no error bar"
expect "clean file has no problem lines" test "$(grep -cE '^  [0-9]+:[0-9]+: ' <<<"$out")" = 0
expect_err "" "clean file stderr"
run parse --no-time "$sample"
expect_out_has "  status: 3.5 KB $dot 190 values $dot JSON" "--no-time leaves the time out"

# A broken single value: the error bar names line and column, each problem is LINE:COLUMN: MESSAGE.
run parse --no-time "$TMP/unclosed.json"
expect_rc 1 "unclosed array"
expect_out_has "  nodes: 3" "unclosed array keeps what was read"
expect_out_has "  problems: 1" "unclosed array problem count"
expect_out_has "  error bar: Line 1, column 5: unexpected end of file. Showing everything before it." \
    "unclosed array error bar"
expect_out_has "  1:5: unexpected end of file" "unclosed array problem"
run parse "$TMP/colon.json"
expect_rc 1 "missing colon"
expect_out_has "  1:6: expected : after the key" "missing colon problem"

# Dialects: which lenient forms, where the first stands, and the status line's name for them.
run parse --no-time "$TMP/lenient.json"
expect_rc 0 "comment and trailing comma, lenient"
expect_out_has "  syntax: comments, trailing commas (first at line 1, column 10, offset 9)" "lenient syntax"
expect_out_has "  status: 32 bytes $dot 4 values $dot JSON with comments" "lenient status"
run parse --strict "$TMP/lenient.json"
expect_rc 1 "comment and trailing comma, strict"
expect_out_has "  syntax: standard JSON" "strict mode accepts no lenient form"
expect_out_has "  1:10: comments are not allowed" "strict comment problem"
run parse --no-time "$TMP/json5.json"
expect_out_has "  syntax: JSON5 (first at line 1, column 2, offset 1)" "JSON5 syntax"
expect_out_has "  status: 6 bytes $dot 2 values $dot JSON5" "JSON5 status"
run parse --no-time "$TMP/control.json"
expect_rc 0 "raw tab in a string"
expect_out_has "  syntax: raw control characters (first at line 1, column 4, offset 3)" "control syntax"
expect_out_has "  status: 7 bytes $dot 2 values $dot JSON with raw control characters" "control status"

# Encodings: named on their own line and in the status line unless plain UTF-8; offsets count in
# the text after the byte order mark.
run parse --no-time "$TMP/bom.json"
expect_out_has "  encoding: UTF-8 with BOM" "UTF-8 BOM encoding"
expect_out_has "  status: 3 bytes $dot 2 values $dot JSON $dot UTF-8 with BOM" "UTF-8 BOM status"
run parse --no-time "$TMP/utf16le.json"
expect_rc 0 "UTF-16 LE file"
expect_out_has "  encoding: UTF-16 LE" "UTF-16 LE encoding"
expect_out_has "  status: 3 bytes $dot 2 values $dot JSON $dot UTF-16 LE" "UTF-16 LE status"

# JSON Lines with bad lines: the record count in the status line, the error bar's summary and one
# problem line per bad line, at the failure rather than the line's start.
run parse --no-time "$TMP/bad-lines.jsonl"
expect_rc 1 "JSON Lines with bad lines"
expect_out_has "  format: JSON Lines" "bad lines format"
expect_out_has "  status: 39 bytes $dot 7 values $dot JSON Lines (5 records)" "bad lines status"
expect_out_has "  error bar: 3 lines could not be read (first: line 2)." "bad lines error bar"
expect_out_has "  2:6: expected a value" "bad line 2"
expect_out_has "  3:9: unexpected end of line" "bad line 3"
expect_out_has "  6:5: expected the end of the line" "bad line 6"
run parse --no-time "$TMP/records.jsonl"
expect_rc 1 "JSON Lines with one bad record"
expect_out_has "  nodes: 6" "JSON Lines keeps the good records"
expect_out_has "  status: 23 bytes $dot 5 values $dot JSON Lines (3 records)" "one bad record status"
expect_out_has "  error bar: Line 2 could not be read: expected a value." "one bad record error bar"
expect_out_has "  2:6: expected a value" "one bad record problem"

# --limit caps the problem lines and counts the rest; the default is 20.
run parse "$TMP/many.jsonl"
expect_rc 1 "many bad lines"
expect_out_has "  error bar: 1,254 lines could not be read (first: line 2)." "many bad lines error bar"
expect "20 problem lines by default" test "$(grep -cE '^  [0-9]+:[0-9]+: ' <<<"$out")" = 20
expect_out_has "  21:6: expected a value" "last problem line shown"
expect_out_has "  ... and 1,234 more problems" "count of the problems left out"
run parse --limit 1253 "$TMP/many.jsonl"
expect_out_has "  1254:6: expected a value" "problem lines past the first block of records"
expect_out_has "  ... and 1 more problem" "one problem left out"
run parse --limit=5000 "$TMP/many.jsonl"
expect_out_has "  1255:6: expected a value" "--limit=N above the count shows all"
expect_out_lacks "more problem" "nothing left out"
run parse --limit 0 "$TMP/many.jsonl" "$TMP/unclosed.json"
expect "--limit 0 shows no problem line" test "$(grep -cE '^  [0-9]+:[0-9]+: ' <<<"$out")" = 0
expect_out_has "  ... and 1 more problem" "--limit applies to every file"
for bad in -1 5x "" 99999999999999999999; do
    run parse --limit "$bad" "$TMP/many.jsonl"
    expect_rc 2 "--limit '$bad'"
    expect_err_has "orvel-cli: --limit needs a number" "--limit '$bad' message"
done
run parse "$TMP/many.jsonl" --limit
expect_rc 2 "--limit without a value"
run json --limit 1 "$TMP/unclosed.json"
expect_rc 2 "--limit is not a json option"

# Formats: records, several values, empty text.
run parse "$TMP/one-record.jsonl"
expect_out_has "  format: JSON value" "one value without --lines"
run parse --lines --no-time "$TMP/one-record.jsonl"
expect_rc 0 "--lines on one record"
expect_out_has "  format: JSON Lines" "--lines reaches the parser"
expect_out_has "  status: 7 bytes $dot 2 values $dot JSON Lines (1 record)" "--lines status"
run parse --no-time "$TMP/values.json"
expect_rc 0 "several values"
expect_out_has "  format: several values" "several values format"
expect_out_has "  status: 5 bytes $dot 3 values $dot Several JSON values (3 records)" "several values status"
run parse "$TMP/empty.json"
expect_rc 0 "empty file"
expect_out_has "  format: empty" "empty file format"
expect_out_has "  nodes: 0" "empty file node count"
expect_out_matches "  status: 0 bytes $dot empty" "empty file status has no parse time"
run parse --strict "$TMP/empty.json"
expect_rc 1 "empty file, strict"
expect_out_has "  1:1: expected a value" "empty file strict problem"

# Several files: each reported in order; the worst outcome decides the status and an unreadable
# file does not stop the others.
run parse "$sample" "$TMP/unclosed.json"
expect_rc 1 "clean and broken file"
expect "two files give two reports" test "$(grep -c '^  format: ' <<<"$out")" = 2
run parse "$TMP/missing.json" "$sample" "$TMP/unclosed.json"
expect_rc 2 "missing file among others"
expect_err "orvel-cli: cannot read '$TMP/missing.json': No such file or directory" "missing file message"
expect_out_has "$sample" "files after a missing one are still read"
expect_out_has "  1:5: unexpected end of file" "broken file after a missing one"
run parse "$TMP"
expect_rc 2 "directory"
expect_err "orvel-cli: cannot read '$TMP': Is a directory" "directory message"

# Standard input and file names that look like options.
out=$("$CLI" parse - <"$TMP/unclosed.json" 2>"$TMP/stderr")
rc=$?
err=$(cat "$TMP/stderr")
expect_rc 1 "standard input"
expect_out_has "  1:5: unexpected end of file" "standard input is parsed"
run parse -- "$TMP/-dash.json"
expect_rc 0 "file name after --"
run parse --strict
expect_rc 2 "parse without files"

# Help and misuse: help on stdout with status 0, misuse on stderr with status 2.
run --help
expect_rc 0 "--help"
expect_out_has "exit status:" "--help documents exit statuses"
expect_out_matches "  --limit N .*" "--help documents --limit"
expect_out_matches "  --no-time .*" "--help documents --no-time"
expect_err "" "--help writes nothing to stderr"
run parse --help
expect_rc 0 "parse --help"
run
expect_rc 2 "no arguments"
expect "no arguments: stdout stays empty" test -z "$out"
expect_err_has "usage: orvel-cli parse" "no arguments prints usage"
run parse --bogus "$sample"
expect_rc 2 "unknown option"
expect_err_has "orvel-cli: unknown option '--bogus'" "unknown option message"
run frobnicate
expect_rc 2 "unknown command"
expect_err_has "orvel-cli: unknown command 'frobnicate'" "unknown command message"
run parse --min "$sample"
expect_rc 2 "--min is not a parse option"

# A full disk must not pass for success.
if [[ -w /dev/full ]]; then
    "$CLI" parse "$sample" >/dev/full 2>"$TMP/stderr"
    rc=$?
    err=$(cat "$TMP/stderr")
    expect_rc 2 "write error"
    expect_err_has "orvel-cli: cannot write output" "write error message"
fi

finish
