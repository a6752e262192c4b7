#!/usr/bin/env bash
# Large files in the window. Generates compact JSON, pretty JSON and JSON Lines (one bad line in a
# thousand) of each size given in MB (default 100, 1024 and 3072; about 13 GB of files under
# build/big, kept for the next run), then for each file:
#   - app_window_phases_bench: node count, resident memory against text +
#     20 B/node + 4 B/line (+ 12 B/problem for JSON Lines), and the longest main-thread gap while
#     loading, searching, building the Text view, expanding all, scrolling to the end, collapsing
#     all and reloading;
#   - the script runner: `timed open` (first rows from a warm page cache), the longest gap while
#     the file loads (`open-nowait`, `stall`) and while it reloads after being written again.
# Not part of CI: it takes minutes and needs a quiet machine to mean anything.
#   bench/window_big.sh [SIZE_MB...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../scripts/deps.sh"
source "$here/../scripts/build.sh"
ensure_packages "${ORVEL_BASE_PACKAGES[@]}" "${ORVEL_BENCH_PACKAGES[@]}"
orvel_build release -DCMAKE_BUILD_TYPE=Release -DORVEL_SANITIZE=OFF -DORVEL_BENCH=ON -- \
    orvel big_files app_window_phases_bench
bin=$ORVEL_ROOT/build/release
sizes=("$@")
((${#sizes[@]})) || sizes=(100 1024 3072)
big=$ORVEL_ROOT/build/big
"$bin/bench/big_files" "$big" "${sizes[@]}"
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

# The runner resolves its paths against a tree holding tests/samples; the file is linked in (a
# symbolic link would lead outside, which `write` refuses).
work=$ORVEL_ROOT/build/big-run
runner() { # runner NAME FILE SCRIPT-LINES...
    local name=$1 file=$2
    shift 2
    rm -rf "$work"
    mkdir -p "$work/tests/samples" "$work/build/tmp" "$work/tests/e2e"
    ln "$file" "$work/tests/samples/$name"
    printf '%s\n' "$@" >"$work/tests/e2e/run.script"
    "$bin/app/orvel" --test-script "$work/tests/e2e/run.script" --test-out "$work/out.txt" \
        --settings "$work/settings.txt" --test-log "$work/log.txt" >/dev/null 2>&1 || echo "  (the runner failed)"
    grep -E ' (stall [0-9]+:|timed )' "$work/log.txt" | sed -E 's/^[-0-9]+ [0-9:.]+ /  runner: /' || true
}

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2-), $(nproc) cores"
for size in "${sizes[@]}"; do
    for file in "$big/compact-${size}mb.json" "$big/pretty-${size}mb.json" "$big/lines-${size}mb.jsonl"; do
        name=$(basename "$file")
        echo
        echo "== $name"
        cat "$file" >/dev/null # a warm page cache, as after any first open
        "$bin/tests/app/app_window_phases_bench" "$file"
        # Milliseconds enough for the load or reload to end within the stall: 4 ms a MB and a second.
        ms=$((size * 4 + 1000))
        runner "$name" "$file" "timed open tests/samples/$name"
        runner "$name" "$file" "open-nowait tests/samples/$name" "stall $ms"
        runner "$name" "$file" "write build/tmp/$name tests/samples/$name" "open build/tmp/$name" \
            "write build/tmp/$name tests/samples/$name" "stall $ms"
    done
done
