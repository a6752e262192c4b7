# Sourced by the other scripts: configures and builds one configuration of the tree.
# shellcheck shell=bash

ORVEL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Two cores are shared on the development machines; override with ORVEL_JOBS.
ORVEL_JOBS=${ORVEL_JOBS:-2}

# orvel_build DIR [CMAKE-ARG...] [-- TARGET...]: configures DIR (under build/) with Ninja and builds
# the targets (all when none are given). A folder configured with another generator is started afresh,
# since CMake refuses to switch generators in place.
orvel_build() {
    local dir=$ORVEL_ROOT/build/$1
    shift
    local -a args=() targets=()
    while (($#)); do
        if [[ $1 == -- ]]; then
            shift
            targets=("$@")
            break
        fi
        args+=("$1")
        shift
    done
    if [[ -f $dir/CMakeCache.txt ]] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
    fi
    cmake -S "$ORVEL_ROOT" -B "$dir" -G Ninja "${args[@]}" || return 1
    local -a target_args=()
    ((${#targets[@]})) && target_args=(--target "${targets[@]}")
    cmake --build "$dir" -j "$ORVEL_JOBS" "${target_args[@]}"
}
