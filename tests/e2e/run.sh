#!/bin/sh
# Runs one script through the real program and checks its transcript:
#   run.sh ORVEL SCRIPT WORKDIR
# The transcript must equal SCRIPT.expected line by line. A script meant to fail has SCRIPT.fails,
# holding "LINE: message": the run must then end with status 2 and that failure on standard
# error (where Qt's own warnings may also appear, so only that line is looked for).
set -u
bin=$1
script=$2
work=$3
mkdir -p "$work"
out=$work/transcript.txt
rm -f "$out" "$work/settings.txt"
"$bin" --test-script "$script" --test-out "$out" --settings "$work/settings.txt" >"$work/stdout.txt" 2>"$work/stderr.txt"
status=$?
if [ -f "$script.fails" ]; then
    want="orvel: $script:$(cat "$script.fails")"
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
