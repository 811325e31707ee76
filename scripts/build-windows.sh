#!/usr/bin/env bash
# build-windows.sh [DIR] [cmake options...]: cross-builds halden.exe, halden-gui.exe and the
# Windows tests with mingw-w64 into DIR (default build-windows/), warnings as errors, and
# packs DIR/halden-windows-x64.zip (scripts/package-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-windows}
shift || true
# -O2 without -g: the programs are stripped in the package.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE='-O2 -DNDEBUG' \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DHALDEN_WERROR=ON "$@" >/dev/null
cmake --build "$dir" --parallel
scripts/package-windows.sh --built "$dir"
