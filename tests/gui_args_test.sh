#!/usr/bin/env bash
# halden-gui's command line, which is read before any window exists: --help works with
# and without a display, and a wrong option is a usage error.
set -u
gui=$(realpath "$1")
passed=0
failed=0
check() {  # check NAME EXPECTED_STATUS ACTUAL_STATUS OUTPUT PATTERN
    if [ "$3" != "$2" ]; then
        echo "FAIL $1: exit status $3, expected $2"; echo "$4"; failed=$((failed + 1)); return
    fi
    if ! grep -Eq -- "$5" <<<"$4"; then
        echo "FAIL $1: output does not match /$5/:"; echo "$4"; failed=$((failed + 1)); return
    fi
    echo "ok   $1"; passed=$((passed + 1))
}
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$gui" --help 2>&1)
check "--help without a display" 0 $? "$out" '--simulate'
out=$(QT_QPA_PLATFORM=offscreen "$gui" --help 2>&1)
check "--help with a display" 0 $? "$out" '--settings'
out=$(env -u DISPLAY -u QT_QPA_PLATFORM "$gui" --version 2>&1)
check "--version without a display" 0 $? "$out" '^halden-gui [0-9]+\.[0-9]+\.[0-9]+$'
out=$(env -u DISPLAY -u QT_QPA_PLATFORM "$gui" --nonsense 2>&1)
check "an unknown option" 64 $? "$out" 'nonsense'
out=$(env -u DISPLAY -u QT_QPA_PLATFORM "$gui" --midi-system foo 2>&1)
check "an unknown MIDI system" 64 $? "$out" '^--midi-system: "foo" is not a MIDI system of this build'
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
