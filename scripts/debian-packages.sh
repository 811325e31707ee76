#!/usr/bin/env bash
# debian-packages.sh OUT-DIR: the Debian 13 package, built in a clean Debian 13 chroot
# against its own libraries (RtMidi 6) with the unit tests run there and lintian of
# that release; then both it and the Debian 12 package that scripts/package.sh made in
# OUT-DIR (this machine is Debian 12: RtMidi 5) are installed with apt, each into a fresh
# chroot of its own release, where halden --version, an update on the built-in simulator
# and halden-gui --version run, and the package is removed again.
# The chroots are made with debootstrap once and kept in $HALDEN_CHROOTS
# (/var/cache/halden-chroots); a fresh one is a copy of the kept base. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath "$1")
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

base() {  # base CODENAME: the kept minimal system of that release, made once
    local root="$cache/$1-base"
    if [ ! -f "$root/.complete" ]; then
        rm -rf "$root"
        echo "debootstrap $1 (once; kept in $cache)" >&2
        debootstrap --variant=minbase "$1" "$root" "$mirror" >"$cache/$1-base.log" 2>&1 ||
            { tail -20 "$cache/$1-base.log"; exit 1; }
        touch "$root/.complete"
    fi
    echo "$root"
}

# --- Debian 13: the build chroot, the base with the build packages, kept too ---
build_root="$cache/trixie-build"
if [ ! -f "$build_root/.complete" ]; then
    rm -rf "$build_root"
    cp -a "$(base trixie)" "$build_root"
    rm -f "$build_root/.complete"
    in_root "$build_root" "apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends \
        g++ cmake ninja-build pkg-config libcli11-dev nlohmann-json3-dev librtmidi-dev \
        libjack-jackd2-dev qt6-base-dev libgtest-dev help2man gzip dpkg-dev file lintian \
        >/dev/null"
    leave_root "$build_root"
    touch "$build_root/.complete"
fi
# The sources afresh; the build folder is kept, so that a second run builds what changed.
rm -rf "$build_root/src" "$build_root"/build/halden_*.deb
mkdir -p "$build_root/src"
git ls-files -co --exclude-standard -z | tar -c --null -T - | tar -x -C "$build_root/src"
in_root "$build_root" "cmake -S /src -B /build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DHALDEN_WERROR=ON -DHALDEN_TESTS=ON >/dev/null &&
    { cmake --build /build --target halden halden-gui halden_unit_tests halden_cli_tests \
          manpages changelog >/build.log 2>&1 ||
          { grep -E -A5 'error' /build.log | head -60; exit 1; }; } &&
    cd /build && tests/halden_unit_tests | tail -1 && tests/halden_cli_tests | tail -1 &&
    echo \"RtMidi \$(pkg-config --modversion rtmidi)\" &&
    cpack -G DEB >/dev/null &&
    lintian --fail-on error,warning /build/halden_*_amd64.deb"
leave_root "$build_root"
cp "$build_root"/build/halden_*~deb13_amd64.deb "$out/"

# --- each package into a fresh system of its own release ---
try_install() {  # try_install CODENAME DEB
    local deb=$2
    fresh=$(mktemp -d "$cache/$1-fresh.XXXX")
    cp -a "$(base "$1")/." "$fresh/"
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
try_install trixie "$(ls "$out"/halden_*~deb13_amd64.deb)"
try_install bookworm "$(ls "$out"/halden_*~deb12_amd64.deb)"
