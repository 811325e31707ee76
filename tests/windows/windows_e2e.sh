#!/usr/bin/env bash
# halden.exe end to end under Wine (WINEPREFIX set by the caller): an update of the
# built-in simulated Halden and its history where Windows keeps a user's data, the listing
# of ports through winmm.dll on a Wine without MIDI devices, and what differs on Windows.
set -u
halden=$(realpath "$1")
examples=$(realpath "$2")
run_exe="$(dirname "$0")/../../scripts/wine-run.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../e2e_lib.sh"
# Windows writes line ends as CR LF.
run() { "$run_exe" "$halden" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

expect "update the built-in simulator" 0 '^Current Halden version #: 1\.5$' \
    run update "$examples/halden-1.5.hfi" --simulate --baud 0
# Recorded in the user's local application data, and listed from there.
expect "the update is in the history" 0 \
    '  000a7f100102  1\.4 -> 1\.5  ok  [0-9.]+ s  halden-1\.5\.hfi \(0xEBB0\)  halden [0-9.]+, built-in simulator' run history
expect "the history is in the local application data" 0 \
    '"file": "[A-Z]:\\\\users\\\\[^"]+\\\\AppData\\\\Local\\\\Halden\\\\history\.log"' run history --json
expect "ports without MIDI devices" 1 \
    "^No MIDI input buses available! Please install your MIDI interface's Windows driver$" run ports
expect "simulate says it needs virtual ports" 1 'needs virtual MIDI ports' run simulate

finish
