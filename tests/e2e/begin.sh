#!/bin/sh
# The runner's start: each way it cannot begin ends with status 2 and its message on stderr.
#   begin.sh ORVEL WORKDIR
set -u
bin=$1
work=$2
mkdir -p "$work"
printf 'dump windows\n' >"$work/ok.script"
failed=0
expect() { # expect MESSAGE ARGS...: the run ends with status 2 and MESSAGE on a line of its own
    want=$1
    shift
    "$bin" "$@" >"$work/stdout.txt" 2>"$work/stderr.txt"
    status=$?
    if [ "$status" -ne 2 ] || ! grep -Fxq -- "$want" "$work/stderr.txt"; then
        echo "orvel $*: status $status, wanted 2 and: $want"; cat "$work/stderr.txt"; failed=1
    fi
}
expect "orvel: --test-script needs --settings <file>" --test-script "$work/ok.script"
expect "orvel: cannot read $work/missing.script" --test-script "$work/missing.script" --settings "$work/settings.txt"
expect "orvel: cannot write $work/no/such/folder/out.txt" --test-script "$work/ok.script" --settings "$work/settings.txt" \
    --test-out "$work/no/such/folder/out.txt"
# Without --test-out the transcript is standard output.
"$bin" --test-script "$work/ok.script" --settings "$work/settings.txt" >"$work/stdout.txt" 2>"$work/stderr.txt" || failed=1
printf -- '--- windows\n  (start window)\n' | diff -u - "$work/stdout.txt" || failed=1
exit $failed
