# orvel-cli parse: what it prints for good, bad and unreadable files, and its exit statuses.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

sample=$ROOT/tests/samples/sample.json
printf '[1,2' >"$TMP/unclosed.json"
printf '{"a" 1}' >"$TMP/colon.json"
printf '{"a": 1, // note\n "b": [true,]}\n' >"$TMP/lenient.json"
printf '{"a":1}\n{"a":}\n{"a":3}\n' >"$TMP/records.jsonl"
printf '{"a":1}' >"$TMP/one-record.jsonl"
printf '1 2 3' >"$TMP/values.json"
: >"$TMP/empty.json"
printf '[true]' >"$TMP/-dash.json"

# A clean file: summary lines only, exit 0.
run parse "$sample"
expect_rc 0 "clean file"
expect_out_has "$sample" "clean file header"
expect_out_has "  format: JSON value" "clean file format"
expect_out_has "  nodes: 190" "clean file node count"
expect_out_has "  problems: 0" "clean file problem count"
expect_out_lacks "  at " "clean file problem lines"
expect_err "" "clean file stderr"

# Broken files: the problem with offset, line, column and message; exit 1.
run parse "$TMP/unclosed.json"
expect_rc 1 "unclosed array"
expect_out_has "  nodes: 3" "unclosed array keeps what was read"
expect_out_has "  problems: 1" "unclosed array problem count"
expect_out_has "  at 4 (line 1, column 5): unexpected end of file" "unclosed array problem"
run parse "$TMP/colon.json"
expect_rc 1 "missing colon"
expect_out_has "  at 5 (line 1, column 6): expected : after the key" "missing colon problem"

# Lenient forms are clean unless --strict asks for plain JSON.
run parse "$TMP/lenient.json"
expect_rc 0 "comment and trailing comma, lenient"
expect_out_has "  problems: 0" "lenient problem count"
run parse --strict "$TMP/lenient.json"
expect_rc 1 "comment and trailing comma, strict"
expect_out_has "  at 9 (line 1, column 10): comments are not allowed" "strict comment problem"

# Formats: records, several values, empty text.
run parse "$TMP/records.jsonl"
expect_rc 1 "JSON Lines with a bad record"
expect_out_has "  format: JSON Lines" "JSON Lines format"
expect_out_has "  nodes: 6" "JSON Lines keeps the good records"
expect_out_has "  at 13 (line 2, column 6): expected a value" "JSON Lines bad record problem"
run parse "$TMP/one-record.jsonl"
expect_out_has "  format: JSON value" "one value without --lines"
run parse --lines "$TMP/one-record.jsonl"
expect_rc 0 "--lines on one record"
expect_out_has "  format: JSON Lines" "--lines reaches the parser"
run parse "$TMP/values.json"
expect_rc 0 "several values"
expect_out_has "  format: several values" "several values format"
expect_out_has "  nodes: 4" "several values node count"
run parse "$TMP/empty.json"
expect_rc 0 "empty file"
expect_out_has "  format: empty" "empty file format"
expect_out_has "  nodes: 0" "empty file node count"
run parse --strict "$TMP/empty.json"
expect_rc 1 "empty file, strict"
expect_out_has "  at 0 (line 1, column 1): expected a value" "empty file strict problem"

# Several files: each reported in order; the worst outcome decides the status and an unreadable
# file does not stop the others.
run parse "$sample" "$TMP/unclosed.json"
expect_rc 1 "clean and broken file"
expect "two files give two reports" test "$(grep -c '^  format: ' <<<"$out")" = 2
run parse "$TMP/missing.json" "$sample" "$TMP/unclosed.json"
expect_rc 2 "missing file among others"
expect_err "orvel-cli: cannot read '$TMP/missing.json': No such file or directory" "missing file message"
expect_out_has "$sample" "files after a missing one are still read"
expect_out_has "  at 4 (line 1, column 5): unexpected end of file" "broken file after a missing one"
run parse "$TMP"
expect_rc 2 "directory"
expect_err "orvel-cli: cannot read '$TMP': Is a directory" "directory message"

# Standard input and file names that look like options.
out=$("$CLI" parse - <"$TMP/unclosed.json" 2>"$TMP/stderr")
rc=$?
err=$(cat "$TMP/stderr")
expect_rc 1 "standard input"
expect_out_has "  at 4 (line 1, column 5): unexpected end of file" "standard input is parsed"
run parse -- "$TMP/-dash.json"
expect_rc 0 "file name after --"
run parse --strict
expect_rc 2 "parse without files"

# Help and misuse: help on stdout with status 0, misuse on stderr with status 2.
run --help
expect_rc 0 "--help"
expect_out_has "exit status:" "--help documents exit statuses"
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
