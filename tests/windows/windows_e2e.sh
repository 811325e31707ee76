#!/usr/bin/env bash
# halden.exe end to end under Wine (WINEPREFIX set by the caller): an update of the
# built-in simulated Halden, image checks with the same status codes as everywhere, and
# the listing of ports on a Wine without MIDI devices.
set -u
halden=$(realpath "$1")
examples=$(realpath "$2")
run_exe="$(dirname "$0")/../../scripts/wine-run.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

check() {  # check NAME EXPECTED_STATUS ACTUAL_STATUS [PATTERN]
    if [ "$3" != "$2" ]; then
        echo "FAIL $1: exit status $3, expected $2"; cat "$work/out"; failed=$((failed + 1)); return
    fi
    if [ $# -ge 4 ] && ! grep -Eq -- "$4" "$work/out"; then
        echo "FAIL $1: output does not match /$4/:"; cat "$work/out"; failed=$((failed + 1)); return
    fi
    echo "ok   $1"; passed=$((passed + 1))
}
# Windows writes line ends as CR LF.
run() { "$run_exe" "$halden" "$@" >"$work/raw" 2>&1; local rc=$?; tr -d '\r' <"$work/raw" >"$work/out"; return $rc; }

run update "$examples/halden-1.5.hfi" --simulate --baud 0
check "update the built-in simulator" 0 $? '^Current Halden version #: 1\.5$'

# Recorded in the user's local application data, and listed from there.
run history
check "the update is in the history" 0 $? \
    '  000a7f100102  1\.4 -> 1\.5  ok  [0-9.]+ s  halden-1\.5\.hfi \(0xEBB0\)  halden [0-9.]+, built-in simulator'
run history --json
check "the history is in the local application data" 0 $? '"file": "[A-Z]:\\\\users\\\\[^"]+\\\\AppData\\\\Local\\\\Halden\\\\history\.log"'

run identify --simulate --baud 0 --trace
check "identify with --trace" 0 $? '^ +[0-9.]+ < F0 41 10 4B 39 12 00 01 04'

: >"$work/empty.hfi"
printf '\x01\x40\x40\xff' >"$work/v1.hfi"
cp "$examples/halden-1.4.hfi" "$work/crc.hfi"
printf '\x00' | dd of="$work/crc.hfi" bs=1 seek=100 conv=notrunc status=none
while read -r file status text; do
    run check "$file" </dev/null
    rc=$?
    check "check $(basename "$file")" "$status" "$rc" "$text"
done <<EOF2
$examples/halden-1.5.hfi 0 a.valid.image.of.16397.bytes,.3.records,.1.area.with.16384.bytes.to.write$
$examples/halden-1.4.hfi 0 a.valid.image.of.4105.bytes,.1.record,.1.area.with.4096.bytes.to.write$
$work/empty.hfi 3 ^Update.file.image.corrupt$
$work/v1.hfi 4 ^Unknown.update.file.version$
$work/crc.hfi 2 ^Update.file.CRC.error$
$work/missing.hfi 1 ^Can't.open.file
$work 1 ^Can't.open.file
EOF2

run ports
check "ports without MIDI devices" 1 $? \
    "^No MIDI input buses available! Please install your MIDI interface's Windows driver$"

run simulate
check "simulate says it needs virtual ports" 1 $? 'needs virtual MIDI ports'

run update "$examples/halden-1.5.hfi" --simulate --baud 0 --sim-block-result 99999999999=1
check "a bad option value" 64 $? 'is not a whole number'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
