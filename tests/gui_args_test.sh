#!/usr/bin/env bash
# halden-gui's command line, which is read before any window exists: --help works with
# and without a display, and a wrong option is a usage error.
set -u
gui=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/e2e_lib.sh"
bare=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$gui")
expect "--help without a display" 0 '--simulate' "${bare[@]}" --help
expect "--help with a display" 0 '--settings' env QT_QPA_PLATFORM=offscreen "$gui" --help
expect "--version without a display" 0 '^halden-gui [0-9]+\.[0-9]+\.[0-9]+$' "${bare[@]}" --version
expect "an unknown option" 64 'nonsense' "${bare[@]}" --nonsense
expect "an unknown MIDI system" 64 '^--midi-system: "foo" is not a MIDI system of this build' "${bare[@]}" --midi-system foo
finish
