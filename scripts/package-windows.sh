#!/usr/bin/env bash
# package-windows.sh [BUILD-DIR]: builds (scripts/build-windows.sh), then makes
# halden-windows-x64.zip in BUILD-DIR (default build-windows/): halden.exe, halden-gui.exe,
# the sample images and a short text on how to start.
# package-windows.sh --built BUILD-DIR: only the zip, from what is built there.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != "--built" ]; then
    exec scripts/build-windows.sh "${1:-build-windows}"  # which packages when it is done
fi
dir=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root="$stage/halden-windows-x64"
mkdir -p "$root/examples"
cp "$dir/cli/halden.exe" "$dir/ui/win32/halden-gui.exe" "$root/"
cp examples/*.hfi "$root/examples/"
cp packaging/README-Windows.txt "$root/README.txt"
# What a user downloads needs no debugging information.
x86_64-w64-mingw32-strip "$root/halden.exe" "$root/halden-gui.exe"
# The folder may be given relative to the checkout or absolute.
zip="$(cd "$dir" && pwd)/halden-windows-x64.zip"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip halden-windows-x64)
echo "Packaged $zip"
