#!/usr/bin/env bash
# again_if_busy.sh SCRIPT ARGS...: an end-to-end script on a MIDI server, run once more
# when every failure in it came while the server missed cycles (its exit status 3), as
# the program itself says: the machine was busy. Any other failure fails at once.
bash "$@"
rc=$?
[ $rc -eq 3 ] || exit $rc
echo "== every failure came while the MIDI server missed cycles: running it once more"
bash "$@"
