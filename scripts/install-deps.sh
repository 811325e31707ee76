#!/usr/bin/env bash
# install-deps.sh [--build]: installs the Debian 12 packages that are missing; with
# --build only those the Linux build and a first run need (scripts/run.sh), else also
# everything the tests use: the JACK server and PipeWire, the Windows cross build and
# Wine, the sanitizers' and fuzzers' compiler, the package checks, and the virtual
# machine (Debian's kernel, qemu and a static busybox) that gives the tests a real ALSA
# sequencer, and emscripten with Chromium for the web page.
set -euo pipefail
packages=(
    g++ cmake ninja-build pkg-config libcli11-dev nlohmann-json3-dev
    librtmidi-dev libjack-jackd2-dev libasound2-dev
    qt6-base-dev fonts-dejavu-core
)
if [ "${1:-}" != "--build" ]; then
    packages+=(
        libgtest-dev libgmock-dev jackd2 jq
        g++-mingw-w64-x86-64-posix googletest wine wine64 xvfb
        clang libclang-rt-14-dev clang-format
        help2man dpkg-dev file lintian desktop-file-utils appstream nsis debootstrap git
        pipewire pipewire-jack pipewire-bin
        qemu-system-x86 linux-image-amd64 busybox-static kmod cpio alsa-utils xdotool
        emscripten chromium
    )
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
