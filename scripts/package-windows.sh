#!/usr/bin/env bash
# package-windows.sh [BUILD-DIR]: builds (scripts/build-windows.sh), then makes
# halden-windows-x64.zip and the installer halden-setup-VERSION-x64.exe in BUILD-DIR
# (default build-windows/): halden.exe, halden-gui.exe, the sample images and a short
# text on how to start.
# package-windows.sh --built BUILD-DIR: only the packages, from what is built there.
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

# The installer, made by NSIS's makensis, which runs here.
version=$(sed -n 's/^#define HALDEN_VERSION "\(.*\)"$/\1/p' "$dir/generated/halden_version.h")
setup="$(cd "$dir" && pwd)/halden-setup-$version-x64.exe"
rm -f "$setup"
makensis -V2 -NOCD -DVERSION="$version" -DSTAGE="$root" -DOUTFILE="$setup" \
    -DSIZE_KB="$(du -sk "$root" | cut -f1)" packaging/windows/halden.nsi
echo "Packaged $setup"
