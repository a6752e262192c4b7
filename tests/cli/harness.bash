# Sourced by the command-line tests (not a test itself, hence not *.sh): runs orvel-cli and checks
# what it printed and returned.
# shellcheck shell=bash
set -uo pipefail

CLI=${1:?usage: bash TEST.sh ORVEL_CLI REPO_ROOT}
ROOT=${2:?usage: bash TEST.sh ORVEL_CLI REPO_ROOT}
# Under the sanitizers a finding must not look like exit status 1 ("the file has problems").
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}exitcode=87:print_stacktrace=1"

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
failures=0
checks=0

# run ARG...: runs the CLI (with the caller's standard input), leaving $out, $err and $rc.
run() {
    out=$("$CLI" "$@" 2>"$TMP/stderr")
    rc=$?
    err=$(cat "$TMP/stderr")
}

fail() {
    failures=$((failures + 1))
    echo "FAIL: $*"
    echo "  command output was:"
    sed 's/^/    | /' <<<"$out"
    [[ -z $err ]] || sed 's/^/    ! /' <<<"$err"
}

# expect WHAT COMMAND...: COMMAND succeeds.
expect() {
    local what=$1
    shift
    checks=$((checks + 1))
    "$@" || fail "$what"
}

expect_rc() { expect "$2: exit status $rc, expected $1" test "$rc" = "$1"; }
# expect_out_has LINE WHAT: stdout holds LINE as a whole line.
expect_out_has() { expect "$2: stdout lacks the line '$1'" grep -qxF -- "$1" <<<"$out"; }
# expect_out_matches REGEX WHAT: a line of stdout matches the extended REGEX whole (for timings).
expect_out_matches() { expect "$2: no stdout line matches '$1'" grep -qxE -- "$1" <<<"$out"; }
expect_out_lacks() { expect "$2: stdout unexpectedly holds '$1'" lacks "$1"; }
lacks() { ! grep -qF -- "$1" <<<"$out"; }
expect_err() { expect "$2: stderr is '$err', expected '$1'" test "$err" = "$1"; }
expect_err_has() { expect "$2: stderr lacks '$1'" grep -qF -- "$1" <<<"$err"; }

# check WHAT RC ARG... [== LINE...]: runs the CLI with the ARGs and expects exit status RC and each
# LINE as a whole line of stdout.
check() {
    local what=$1 want=$2 args=()
    shift 2
    while (($#)) && [[ $1 != "==" ]]; do
        args+=("$1")
        shift
    done
    (($#)) && shift
    run "${args[@]}"
    expect_rc "$want" "$what"
    local line
    for line; do expect_out_has "$line" "$what"; done
}

finish() {
    echo "$((checks - failures)) passed, $failures failed"
    ((failures == 0))
}
