# Sourced by the other scripts: installs the Debian packages a step needs, and only those missing.
# shellcheck shell=bash

# What building and testing needs; the fuzzing and benchmark sets come on top when those are built.
# qt6-base-dev brings Widgets, QtTest and the offscreen platform the shell's tests run on; without any
# font installed Qt draws every character as an empty box and reports nothing.
ORVEL_BASE_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libonig-dev qt6-base-dev fonts-dejavu-core)
# Running the window in a Wayland session: Qt's own xcb platform covers X11 and XWayland, but a
# session may have no X server at all (scripts/orvel adds these only when WAYLAND_DISPLAY is set).
ORVEL_WAYLAND_PACKAGES=(qt6-wayland)
# The install test checks the desktop entry, the MIME package and the icon with these when present.
ORVEL_DESKTOP_PACKAGES=(desktop-file-utils libxml2-utils shared-mime-info)
ORVEL_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
ORVEL_BENCH_PACKAGES=(libsimdjson-dev rapidjson-dev)

_orvel_apt_updated=0

# ensure_packages PKG...: installs those of PKG that dpkg does not report as installed.
# Runs apt-get as root, through sudo when not root; fails when neither is possible.
ensure_packages() {
    local missing=() pkg status
    for pkg in "$@"; do
        status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
        [[ $status == "install ok installed" ]] || missing+=("$pkg")
    done
    ((${#missing[@]})) || return 0

    local -a as_root=()
    if ((EUID != 0)); then
        if command -v sudo >/dev/null 2>&1; then
            as_root=(sudo)
        else
            echo "deps: missing packages ${missing[*]}, and neither root nor sudo is available" >&2
            return 1
        fi
    fi
    echo "deps: installing ${missing[*]}" >&2
    if ((!_orvel_apt_updated)); then
        "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q || return 1
        _orvel_apt_updated=1
    fi
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
}
