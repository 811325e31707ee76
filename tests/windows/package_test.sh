#!/usr/bin/env bash
# What a Windows user unpacks: both programs, the samples and the text, and the unpacked
# halden.exe checks an unpacked sample.
set -u
zip=$(realpath "$1")
runner=$(realpath "$(dirname "$0")/../../scripts/wine-run.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../e2e_lib.sh"
cd "$work" && cmake -E tar xf "$zip" || { echo "FAIL can't unpack $zip"; exit 1; }
cd halden-windows-x64 || exit 1
# ls names any that is missing.
holds "the files are there" ls halden.exe halden-gui.exe README.txt examples/halden-{1.4,1.5}.hfi
out=$("$runner" halden.exe check examples/halden-1.5.hfi 2>&1 | tr -d '\r'; exit "${PIPESTATUS[0]}")
rc=$?
holds "the unpacked halden.exe runs (exit status $rc: $out)" test "$rc" = 0 -a "$out" = "examples/halden-1.5.hfi: a valid image of 16397 bytes, 3 records, 1 area with 16384 bytes to write"
finish
