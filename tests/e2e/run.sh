#!/bin/sh
# Runs one script through the real program and checks its transcript:
#   run.sh ORVEL SCRIPT WORKDIR
# The script runs from a private copy of the source tree's tests/samples under WORKDIR, so that
# its writes (build/tmp/) and screenshots stay apart from other runs of the same script (the
# release and sanitizer builds run at the same time). The transcript must equal SCRIPT.expected
# line by line. A script meant to fail has SCRIPT.fails, holding "LINE: message": the run must
# then end with status 2 and that failure on standard error (where Qt's own warnings may also
# appear, so only that line is looked for). SCRIPT.args, when present, holds more arguments for
# the program (such as --test-ram 100); SCRIPT.files names files (below the script's tree) the run
# must have written.
set -u
bin=$1
script=$2
work=$3
source=$(cd "$(dirname "$script")/../.." && pwd)
tree=$work/tree
rm -rf "$tree"
mkdir -p "$tree/tests/e2e" "$tree/build/tmp"
cp -a "$source/tests/samples" "$tree/tests/"
copy=$tree/tests/e2e/$(basename "$script")
cp "$script" "$copy"
extra=
[ -f "$script.args" ] && extra=$(cat "$script.args")
out=$work/transcript.txt
rm -f "$out" "$work/settings.txt"
# $extra is split into words on purpose.
# shellcheck disable=SC2086
"$bin" $extra --test-script "$copy" --test-out "$out" --settings "$work/settings.txt" >"$work/stdout.txt" 2>"$work/stderr.txt"
status=$?
if [ -f "$script.fails" ]; then
    want="orvel: $copy:$(cat "$script.fails")"
    if [ "$status" -ne 2 ]; then
        echo "expected status 2, got $status"; cat "$work/stderr.txt"; exit 1
    fi
    if ! grep -Fxq -- "$want" "$work/stderr.txt"; then
        echo "missing on stderr: $want"; cat "$work/stderr.txt"; exit 1
    fi
elif [ "$status" -ne 0 ]; then
    echo "status $status"; cat "$work/stderr.txt"; exit 1
fi
[ -f "$out" ] || { echo "no transcript"; cat "$work/stderr.txt"; exit 1; }
diff -u "$script.expected" "$out" || { cat "$work/stderr.txt"; exit 1; }
if [ -f "$script.files" ]; then
    while read -r file; do
        [ -s "$tree/$file" ] || { echo "not written: $file"; cat "$work/stderr.txt"; exit 1; }
    done <"$script.files"
fi
