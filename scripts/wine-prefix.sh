#!/usr/bin/env bash
# wine-prefix.sh init DIR: a fresh Wine prefix in DIR for one test run.
# wine-prefix.sh end DIR:  ends that prefix's wineserver (no one else's) and removes it.
set -euo pipefail
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv=d"
case "$action" in
init)
    rm -rf "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    # A crash ends the program instead of opening a dialog that waits forever.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
    wineserver -w
    echo "Wine prefix ready: $WINEPREFIX"
    ;;
end)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    ;;
*)
    sed -n '2,3p' "$0"; exit 2
    ;;
esac
