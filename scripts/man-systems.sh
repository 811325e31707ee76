#!/usr/bin/env bash
# man-systems.sh PROGRAM [VERB] < IN > OUT: the manual page text with @MIDI_SYSTEMS@
# replaced by the MIDI systems PROGRAM's build holds, as the --midi-system help of
# `PROGRAM [VERB] --help` names them ("alsa or jack").
set -euo pipefail
systems=$("$@" --help | sed -n 's/.*MIDI system to use: \([a-z, ]*[a-z]\).*/\1/p' | head -n 1)
[ -n "$systems" ] || { echo "man-systems.sh: $* --help names no MIDI system" >&2; exit 1; }
sed "s/@MIDI_SYSTEMS@/$systems/g"
