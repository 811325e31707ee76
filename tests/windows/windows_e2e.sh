#!/usr/bin/env bash
# halden.exe end to end under Wine (WINEPREFIX set by the caller): an update of the
# built-in simulated Halden and its history where Windows keeps a user's data, the listing
# of ports through winmm.dll on a Wine without MIDI devices, and what differs on Windows.
# (halden.exe checks the other sample in the package's and the installer's tests.)
set -u
halden=$(realpath "$1")
examples=$(realpath "$2")
run_exe="$(dirname "$0")/../../scripts/wine-run.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../e2e_lib.sh"
# Windows writes line ends as CR LF.
run() { "$run_exe" "$halden" "$@" >"$work/raw" 2>&1; local rc=$?; tr -d '\r' <"$work/raw" >"$work/out"; return $rc; }

run update "$examples/halden-1.5.hfi" --simulate --baud 0
check "update the built-in simulator" 0 $? "$work/out" '^Current Halden version #: 1\.5$'

# Recorded in the user's local application data, and listed from there.
run history
check "the update is in the history" 0 $? "$work/out" \
    '  000a7f100102  1\.4 -> 1\.5  ok  [0-9.]+ s  halden-1\.5\.hfi \(0xEBB0\)  halden [0-9.]+, built-in simulator'
run history --json
check "the history is in the local application data" 0 $? "$work/out" '"file": "[A-Z]:\\\\users\\\\[^"]+\\\\AppData\\\\Local\\\\Halden\\\\history\.log"'

run identify --simulate --baud 0 --trace
check "identify with --trace" 0 $? "$work/out" '^ +[0-9]+\.[0-9]{3} < F0 41 10 4B 39 12 00 01 04( [0-9A-F]{2}){16} F7$'

run check "$examples/halden-1.4.hfi"
check "check an image of one record" 0 $? "$work/out" 'a valid image of 4105 bytes, 1 record, 1 area with 4096 bytes to write$'

run ports
check "ports without MIDI devices" 1 $? "$work/out" \
    "^No MIDI input buses available! Please install your MIDI interface's Windows driver$"

run simulate
check "simulate says it needs virtual ports" 1 $? "$work/out" 'needs virtual MIDI ports'

# A number past Windows' 32-bit long.
run update "$examples/halden-1.5.hfi" --simulate --baud 0 --sim-block-result 99999999999=1
check "a bad option value" 64 $? "$work/out" 'is not a whole number'

finish
