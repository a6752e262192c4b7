# orvel-cli parse: what it prints for good, bad and unreadable files, and its exit statuses.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

sample=$ROOT/tests/samples/sample.json
dot=$'\xC2\xB7'
problem_lines() { grep -cE '^  [0-9]+:[0-9]+: ' <<<"$out"; }
printf '[1,2' >"$TMP/unclosed.json"
printf '{"a" 1}' >"$TMP/colon.json"
printf '{"a": 1, // note\n "b": [true,]}\n' >"$TMP/lenient.json"
printf '{"a":1}\n{"a":}\n{"b":[1,\n\n{"c":2}\n"x" 1\n' >"$TMP/bad-lines.jsonl"
printf '{"a":1}' >"$TMP/one-record.jsonl"
printf '{a: "\t"}' >"$TMP/json5.json"
printf '1 2 3' >"$TMP/values.json"
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
check "clean file" 0 parse "$sample" == "$sample" "  format: JSON value" "  encoding: UTF-8" \
    "  syntax: standard JSON" "  nodes: 190" "  problems: 0"
expect_out_matches "  status: 3\.5 KB $dot 190 values $dot JSON $dot parsed in (< 0\.1|[0-9,]+\.[0-9]) s" \
    "clean file status with parse time"
expect_out_lacks "error bar:" "clean file has no error bar"
expect "clean file has no problem lines" test "$(problem_lines)" = 0
expect_err "" "clean file stderr"
check "--no-time leaves the time out" 0 parse --no-time "$sample" == "  status: 3.5 KB $dot 190 values $dot JSON"

# A broken value: the error bar names line and column, each problem reads LINE:COLUMN: MESSAGE.
check "unclosed array" 1 parse "$TMP/unclosed.json" == "  nodes: 3" "  problems: 1" "  1:5: unexpected end of file" \
    "  error bar: Line 1, column 5: unexpected end of file. Showing everything before it."
check "missing colon" 1 parse "$TMP/colon.json" == "  1:6: expected : after the key"

# Lenient forms: which, and where the first stands; strict mode makes them problems.
check "comment and trailing comma" 0 parse "$TMP/lenient.json" == \
    "  syntax: comments, trailing commas (first at line 1, column 10, offset 9)"
check "strict comment" 1 parse --strict "$TMP/lenient.json" == "  syntax: standard JSON" \
    "  1:10: comments are not allowed"
check "JSON5 and a raw tab" 0 parse "$TMP/json5.json" == \
    "  syntax: JSON5, raw control characters (first at line 1, column 2, offset 1)"

# Encodings other than plain UTF-8: named on their own line and in the status line.
check "UTF-16 LE" 0 parse --no-time "$TMP/utf16le.json" == "  encoding: UTF-16 LE" \
    "  status: 3 bytes $dot 2 values $dot JSON $dot UTF-16 LE"

# JSON Lines with bad lines: the error bar's summary and one problem line per bad line, at the
# failure rather than the line's start.
check "JSON Lines with bad lines" 1 parse --no-time "$TMP/bad-lines.jsonl" == "  format: JSON Lines" \
    "  status: 39 bytes $dot 7 values $dot JSON Lines (5 records)" \
    "  error bar: 3 lines could not be read (first: line 2)." \
    "  2:6: expected a value" "  3:9: unexpected end of line" "  6:5: expected the end of the line"

# --limit caps the problem lines and counts the rest; the default is 20.
check "many bad lines" 1 parse "$TMP/many.jsonl" == "  21:6: expected a value" \
    "  error bar: 1,254 lines could not be read (first: line 2)." "  ... and 1,234 more problems"
expect "20 problem lines by default" test "$(problem_lines)" = 20
check "--limit past the first block of problem records" 1 parse --limit 1253 "$TMP/many.jsonl" == \
    "  1254:6: expected a value" "  ... and 1 more problem"
check "--limit=N above the count shows all" 1 parse --limit=5000 "$TMP/many.jsonl" == "  1255:6: expected a value"
expect_out_lacks "more problem" "nothing left out"
check "--limit applies to every file" 1 parse --limit 0 "$TMP/many.jsonl" "$TMP/unclosed.json" == \
    "  ... and 1 more problem"
expect "--limit 0 shows no problem line" test "$(problem_lines)" = 0
for bad in -1 5x "" 99999999999999999999; do
    check "--limit '$bad'" 2 parse --limit "$bad" "$TMP/many.jsonl"
    expect_err_has "orvel-cli: --limit needs a number" "--limit '$bad' message"
done
check "--limit without a value" 2 parse "$TMP/many.jsonl" --limit
check "--limit is not a json option" 2 json --limit 1 "$TMP/unclosed.json"

# Formats: records only with --lines or more than one value, and empty text.
check "one value without --lines" 0 parse "$TMP/one-record.jsonl" == "  format: JSON value"
check "--lines on one record" 0 parse --lines --no-time "$TMP/one-record.jsonl" == "  format: JSON Lines" \
    "  status: 7 bytes $dot 2 values $dot JSON Lines (1 record)"
check "several values" 0 parse "$TMP/values.json" == "  format: several values"
check "empty file" 0 parse "$TMP/empty.json" == "  format: empty" "  nodes: 0"
expect_out_matches "  status: 0 bytes $dot empty" "empty file status has no parse time"
check "empty file, strict" 1 parse --strict "$TMP/empty.json" == "  1:1: expected a value"

# Several files: each reported in order; the worst outcome decides the status and an unreadable
# file does not stop the others.
check "clean and broken file" 1 parse "$sample" "$TMP/unclosed.json"
expect "two files give two reports" test "$(grep -c '^  format: ' <<<"$out")" = 2
check "missing file among others" 2 parse "$TMP/missing.json" "$sample" "$TMP/unclosed.json" == "$sample" \
    "  1:5: unexpected end of file"
expect_err "orvel-cli: cannot read '$TMP/missing.json': No such file or directory" "missing file message"
check "directory" 2 parse "$TMP"
expect_err "orvel-cli: cannot read '$TMP': Is a directory" "directory message"

# Standard input and file names that look like options.
check "standard input" 1 parse - <"$TMP/unclosed.json" == "  1:5: unexpected end of file"
check "file name after --" 0 parse -- "$TMP/-dash.json"
check "parse without files" 2 parse --strict

# Help and misuse: help on stdout with status 0, misuse on stderr with status 2.
check "--help" 0 --help == "exit status:"
expect_out_matches "  --limit N .*" "--help documents --limit"
expect_err "" "--help writes nothing to stderr"
check "parse --help" 0 parse --help
check "no arguments" 2
expect "no arguments: stdout stays empty" test -z "$out"
expect_err_has "usage: orvel-cli parse" "no arguments prints usage"
check "unknown option" 2 parse --bogus "$sample"
expect_err_has "orvel-cli: unknown option '--bogus'" "unknown option message"
check "unknown command" 2 frobnicate
expect_err_has "orvel-cli: unknown command 'frobnicate'" "unknown command message"
check "--min is not a parse option" 2 parse --min "$sample"

# A file past the core's limit (0xFFFFFF00 bytes) is refused by its size, never read: a sparse file of
# one byte more costs no disk, and reading its 4 GB of zeros would take seconds and the memory.
if truncate -s 4294967041 "$TMP/over.json" 2>/dev/null; then
    started=$(date +%s%N)
    check "file over the limit" 2 parse "$TMP/over.json"
    elapsed_ms=$((($(date +%s%N) - started) / 1000000))
    expect_err "orvel-cli: cannot read '$TMP/over.json': file is larger than 4 GB" "file over the limit message"
    expect "file over the limit is refused at once ($elapsed_ms ms)" test "$elapsed_ms" -lt 1000
    expect "file over the limit: stdout stays empty" test -z "$out"
fi

# A full disk must not pass for success.
if [[ -w /dev/full ]]; then
    "$CLI" parse "$sample" >/dev/full 2>"$TMP/stderr"
    rc=$?
    err=$(cat "$TMP/stderr")
    expect_rc 2 "write error"
    expect_err_has "orvel-cli: cannot write output" "write error message"
fi

finish
