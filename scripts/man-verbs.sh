#!/usr/bin/env bash
# man-verbs.sh HALDEN: a help2man include file with a VERBS section that holds every
# verb's own --help, so that `man halden` shows each verb's options too.
set -euo pipefail
halden=$1
# roff: backslashes shown as such, and no line may start a request.
roff() { sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }
echo "[VERBS]"
for verb in check info pack identify update ports scan simulate history; do
    echo ".SS \"halden $verb\""
    echo ".nf"
    # The exit statuses have a section of their own below.
    "$halden" "$verb" --help | sed '/^Exit status:/d' | roff
    echo ".fi"
done
bash "$(dirname "$0")/man-systems.sh" "$halden" ports <<'ROFF'
[EXIT STATUS]
.TP
0
success
.TP
1
a file that cannot be read or written, no MIDI port, or a MIDI port that cannot be
opened or that fails during the update
.TP
2 to 15
the update's status code: 2 "Update file CRC error", 3 "Update file image corrupt",
4 "Unknown update file version", 5 "Operation canceled", 6 "MIDI Response too long",
7 "MIDI Response timeout", 8 "MIDI Response unknown", 9 "Region erase failure",
10 "Out of memory", 11 "MIDI Reports bad checksum", 12 "MIDI Reports bad length",
13 "MIDI Reports bad checkcode", 14 "MIDI Reports chip programming fault",
15 the Halden reports device result 5
.TP
17
the Halden's blocks are too long for the MIDI port (found before anything is erased)
.TP
18
the Halden's block size is too small to number an area's blocks (found before anything
is erased)
.TP
19
the update was written, but the Halden does not then report its firmware as good
.TP
20
the update was written, but the Halden then reports another version than the image holds
.TP
21
another halden program holds one of the MIDI ports (it may be updating the Halden
there); nothing was sent
.TP
64
a command line that is not understood
[FILES]
.TP
$XDG_STATE_HOME/halden/history.log
(~/.local/state/halden/history.log) the history of updates, one line each, from the
command line and the app alike; --history gives another file
.TP
$XDG_RUNTIME_DIR/halden/
(/tmp/halden-UID/ without it) a lock for each MIDI port in use, held while a program
has the port open, so that no other halden program sends into an update
[ENVIRONMENT]
.TP
HALDEN_MIDI_SYSTEM
@MIDI_SYSTEMS@: the MIDI system to use, as --midi-system (which wins)
.TP
XDG_STATE_HOME, XDG_RUNTIME_DIR
where the history and the port locks are kept (see FILES)
ROFF
