#!/usr/bin/env bash
# wine-prefix.sh init DIR [DPI]: a fresh Wine prefix in DIR for one test run, with a
#                          private X screen (Xvfb) that every Wine program of the run uses,
#                          and the screen's scale in dots per inch (default 96, 100 %).
# wine-prefix.sh end DIR:  ends that prefix's wineserver (no one else's) and its screen,
#                          and removes the prefix.
set -euo pipefail
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv=d"
case "$action" in
init)
    "$0" end "$WINEPREFIX"
    # One screen for the whole run: Wine's desktop process starts with the first program
    # and keeps the display it found then.
    # Xvfb picks a free display itself and says which once it is ready: two runs that
    # looked for a free number at once took the same one, and the second screen died, so
    # ending one run took the other's screen away in the middle of its tests.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WINEPREFIX.display.n" \
        >/dev/null 2>&1 &
    echo $! >"$WINEPREFIX.xvfb"
    for _ in $(seq 200); do [ -s "$WINEPREFIX.display.n" ] && break; sleep 0.05; done
    n=$(cat "$WINEPREFIX.display.n")
    rm -f "$WINEPREFIX.display.n"
    [ -n "$n" ] || { echo "the X screen for Wine did not start"; exit 1; }
    echo ":$n" >"$WINEPREFIX.display"
    export DISPLAY=":$n"
    wineboot --init >/dev/null 2>&1
    # A crash ends the program instead of opening a dialog that waits forever.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
    # Windows not handed to a window manager: the test screen has none, and Wine would
    # wait about two seconds for one at every window it shows or ends.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "${3:-96}" /f \
        >/dev/null 2>&1
    wineserver -w
    echo "Wine prefix ready: $WINEPREFIX (display :$n, ${3:-96} dpi)"
    ;;
end)
    if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
    if [ -f "$WINEPREFIX.xvfb" ]; then kill "$(cat "$WINEPREFIX.xvfb")" 2>/dev/null || true; fi
    rm -rf "$WINEPREFIX" "$WINEPREFIX.xvfb" "$WINEPREFIX.display"
    ;;
*)
    sed -n '2,6p' "$0"; exit 2
    ;;
esac
