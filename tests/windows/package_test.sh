#!/usr/bin/env bash
# What a Windows user unpacks: both programs, the samples and the text, and the unpacked
# halden.exe checks an unpacked sample.
set -u
zip=$(realpath "$1")
runner=$(realpath "$(dirname "$0")/../../scripts/wine-run.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && cmake -E tar xf "$zip" || { echo "FAIL can't unpack $zip"; exit 1; }
failed=0
for f in halden.exe halden-gui.exe README.txt examples/halden-1.4.hfi examples/halden-1.5.hfi; do
    if [ -f "halden-windows-x64/$f" ]; then echo "ok   $f"; else echo "FAIL $f missing"; failed=1; fi
done
cd halden-windows-x64
out=$("$runner" halden.exe check examples/halden-1.5.hfi 2>&1 | tr -d '\r')
if [ "$out" = "examples/halden-1.5.hfi: a valid image of 16397 bytes, 3 records, 1 area with 16384 bytes to write" ]; then echo "ok   the unpacked halden.exe runs"; else
    echo "FAIL the unpacked halden.exe: $out"; failed=1; fi
exit $failed
