#!/usr/bin/env bash
# wine-run.sh PROGRAM.exe [ARGS...]: runs a Windows program under Wine, quietly, in the
# prefix named by WINEPREFIX (tests set it to their own; see tests/windows/).
set -euo pipefail
export WINEDEBUG=-all
# No Mono or Gecko installers; no ALSA driver (this machine has no sound devices, and it
# would only print complaints).
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv=d"
# The test run's own screen, when its prefix has one (scripts/wine-prefix.sh).
if [ -n "${WINEPREFIX:-}" ] && [ -f "$WINEPREFIX.display" ]; then
    DISPLAY=$(cat "$WINEPREFIX.display")
    export DISPLAY
fi
exec wine "$@"
