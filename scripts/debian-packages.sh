#!/usr/bin/env bash
# debian-packages.sh OUT-DIR: the Debian 13 and Debian 12 packages, each built in a clean
# chroot of its release against that release's libraries (RtMidi 6 and 5), with the unit
# tests run there and lintian of that release, and put in OUT-DIR; then each is installed
# with apt into a fresh chroot of its own release, where halden --version, an update on
# the built-in simulator and halden-gui --version run, and the package is removed again.
# The chroots are made with debootstrap once and kept in $HALDEN_CHROOTS
# (/var/cache/halden-chroots); a fresh one is a copy of the kept base. Needs root.
# debian-packages.sh --prepare: only makes the kept chroots (mostly downloads, so the
# test script runs it while it builds).
set -euo pipefail
cd "$(dirname "$0")/.."
prepare=no
if [ "${1:-}" = --prepare ]; then prepare=yes; else out=$(realpath "$1"); fi
cache=${HALDEN_CHROOTS:-/var/cache/halden-chroots}
mirror=${HALDEN_MIRROR:-http://deb.debian.org/debian}
mkdir -p "$cache"
mounted=()
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
    if [ -n "${fresh:-}" ]; then rm -rf "$fresh"; fi
}
trap cleanup EXIT

in_root() {  # in_root ROOT COMMAND: a shell in the chroot, with /proc and /dev
    local root=$1
    shift
    if ! mountpoint -q "$root/proc"; then
        mount -t proc proc "$root/proc" && mounted+=("$root/proc")
        mount --bind /dev "$root/dev" && mounted+=("$root/dev")
        mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")
    fi
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive bash -euo pipefail -c "$*"
}
leave_root() {  # leave_root ROOT: unmounts what in_root mounted
    local root=$1 i kept=()
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        if [[ ${mounted[i]} == "$root"/* ]]; then umount -l "${mounted[i]}"; else kept=("${mounted[i]}" "${kept[@]}"); fi
    done
    mounted=("${kept[@]}")
}

make_base() {  # make_base CODENAME: $cache/CODENAME-base, the minimal system, made once
    local root="$cache/$1-base"
    if [ ! -f "$root/.complete" ]; then
        rm -rf "$root"
        echo "debootstrap $1 (once; kept in $cache)" >&2
        debootstrap --variant=minbase "$1" "$root" "$mirror" >"$cache/$1-base.log" 2>&1 ||
            { tail -20 "$cache/$1-base.log"; exit 1; }
        touch "$root/.complete"
    fi
}

make_build_root() {  # make_build_root CODENAME: $cache/CODENAME-build, the base with the
    local root="$cache/$1-build"  # build packages, made once
    if [ ! -f "$root/.complete" ]; then
        make_base "$1"
        rm -rf "$root"
        cp -a "$cache/$1-base" "$root"
        rm -f "$root/.complete"
        in_root "$root" "apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends \
            g++ cmake ninja-build pkg-config libcli11-dev nlohmann-json3-dev librtmidi-dev libasound2-dev \
            libjack-jackd2-dev qt6-base-dev libgtest-dev help2man gzip dpkg-dev file lintian \
            >/dev/null"
        leave_root "$root"
        touch "$root/.complete"
    fi
}

build_package() {  # build_package CODENAME: builds, tests and packages there, into OUT-DIR
    local root="$cache/$1-build"
    make_build_root "$1"
    echo "== the package built in Debian $1"
    # The sources afresh; the build folder is kept, so that a second run builds what changed.
    rm -rf "$root/src" "$root"/build/halden_*.deb
    mkdir -p "$root/src"
    { git ls-files -co --exclude-standard -z 2>/dev/null ||
        find . \( -path './build*' -o -path ./.git \) -prune -o -type f -print0; } |
        tar -c --null -T - | tar -x -C "$root/src"
    # -O2 without -g: the package's programs are stripped.
    in_root "$root" "cmake -S /src -B /build -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_CXX_FLAGS_RELEASE='-O2 -DNDEBUG' -DHALDEN_WERROR=ON -DHALDEN_TESTS=ON \
            >/dev/null &&
        { cmake --build /build --target halden halden-gui halden_unit_tests halden_cli_tests \
              manpages changelog >/build.log 2>&1 ||
              { grep -E -A5 'error' /build.log | head -60; exit 1; }; } &&
        cd /build && tests/halden_unit_tests | tail -1 && tests/halden_cli_tests | tail -1 &&
        echo \"RtMidi \$(pkg-config --modversion rtmidi)\" &&
        cpack -G DEB >/dev/null &&
        lintian --fail-on error,warning /build/halden_*_amd64.deb"
    leave_root "$root"
    cp "$root"/build/halden_*_amd64.deb "$out/"
}

# --- each package into a fresh system of its own release ---
try_install() {  # try_install CODENAME DEB
    local deb=$2
    make_base "$1"
    fresh=$(mktemp -d "$cache/$1-fresh.XXXX")
    cp -a "$cache/$1-base/." "$fresh/"
    cp "$deb" "$fresh/tmp/"
    echo "== $(basename "$deb") in a fresh Debian $1"
    in_root "$fresh" "apt-get update -q >/dev/null &&
        apt-get install -y -q --no-install-recommends /tmp/$(basename "$deb") >/dev/null &&
        halden --version && halden-gui --version &&
        halden update /usr/share/halden/examples/halden-1.5.hfi --simulate --baud 0 \
            --history /tmp/history.log &&
        dpkg -L halden | while read -r f; do if test -f \"\$f\"; then echo \"\$f\"; fi; done >/tmp/files &&
        apt-get remove -y -q --purge halden >/dev/null &&
        while read -r f; do if test -e \"\$f\"; then echo \"left behind: \$f\"; exit 1; fi; done </tmp/files &&
        ! dpkg -l halden 2>/dev/null | grep -q '^ii' &&
        echo \"removed cleanly (\$(wc -l </tmp/files) files)\""
    leave_root "$fresh"
    rm -rf "$fresh"
    fresh=""
}
if [ "$prepare" = yes ]; then
    make_build_root trixie
    make_build_root bookworm
    exit 0
fi
build_package trixie
build_package bookworm
try_install trixie "$(ls "$out"/halden_*~deb13_amd64.deb)"
try_install bookworm "$(ls "$out"/halden_*~deb12_amd64.deb)"
