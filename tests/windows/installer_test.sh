#!/usr/bin/env bash
# The Windows installer under Wine (WINEPREFIX set by the caller), installed twice: as an
# administrator installs it, silently (/S) into Program Files for everyone, and with
# /CURRENTUSER into the user's own folder. Each time: the files, a Start-menu entry and
# an entry in the list of installed programs (the machine's, or the user's) are there,
# halden.exe runs from there, and a silent uninstall leaves nothing of it.
set -u
setup=$(realpath "$1")
runner=$(realpath "$(dirname "$0")/../../scripts/wine-run.sh")
export WINEDEBUG=-all
. "$(dirname "$0")/../e2e_lib.sh"
entry='Software\Microsoft\Windows\CurrentVersion\Uninstall\Halden'
value() {  # value KEY NAME: a value of the uninstall entry, as reg query prints it
    "$runner" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
unix() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# install_round WHO OPTION FOLDER START-MENU KEY OTHER-KEY
install_round() {
    local who=$1 option=$2 win=$3 key=$5 other=$6 dir menu out
    dir=$(unix "$win")
    menu=$(unix "$4")
    # shellcheck disable=SC2086
    "$runner" "$setup" /S $option
    wineserver -w
    # ls names any that is missing.
    holds "$who: the files are in $win, and the Start menu has \"Halden Firmware Update Utility\"" \
        ls "$dir"/{halden.exe,halden-gui.exe,README.txt,uninstall.exe,examples/halden-{1.4,1.5}.hfi} \
        "$menu/Halden Firmware Update Utility.lnk"
    [ "$(value "$key" DisplayName)" = "Halden Firmware Update Utility" ] &&
        [ "$(value "$key" DisplayVersion)" = "1.0.0" ] &&
        [ "$(value "$key" UninstallString)" = "\"$win\\uninstall.exe\"" ] &&
        [ "$(value "$key" QuietUninstallString)" = "\"$win\\uninstall.exe\" /S" ] &&
        ! "$runner" reg query "$other" >/dev/null 2>&1
    check "$who: the list of installed programs has it ($key, not $other)" 0 $?
    out=$("$runner" "$win\\halden.exe" --version 2>&1; cd "$dir" && "$runner" "$win\\halden.exe" check examples/halden-1.5.hfi 2>&1)
    [ "$(echo "$out" | tr -d '\r')" = "halden 1.0.0
examples/halden-1.5.hfi: a valid image of 16397 bytes, 3 records, 1 area with 16384 bytes to write" ]
    check "$who: halden.exe runs from there and checks an installed sample ($out)" 0 $?

    # The uninstaller copies itself away and runs from there: wait for every Wine process.
    "$runner" "$win\\uninstall.exe" /S
    wineserver -w
    [ ! -e "$dir" ] && [ ! -e "$menu/Halden Firmware Update Utility.lnk" ] &&
        ! "$runner" reg query "$key" >/dev/null 2>&1
    check "$who: a silent uninstall removes the folder, the Start-menu entry and the entry in the list" 0 $?
}

install_round "for everyone" "" 'C:\Program Files\Halden' \
    'C:\ProgramData\Microsoft\Windows\Start Menu\Programs' "HKLM\\$entry" "HKCU\\$entry"
# Wine's user is an administrator: /CURRENTUSER takes the way anyone else's install goes.
windows_var() { "$runner" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
install_round "/CURRENTUSER" /CURRENTUSER "$(windows_var LOCALAPPDATA)\Programs\Halden" \
    "$(windows_var APPDATA)\Microsoft\Windows\Start Menu\Programs" "HKCU\\$entry" "HKLM\\$entry"

finish
