#!/usr/bin/env bash
# The Windows installer under Wine (WINEPREFIX set by the caller), as an administrator
# installs it: silently (/S) into Program Files, with a Start-menu entry and an entry in
# the list of installed programs; halden.exe runs from there; a silent uninstall leaves
# nothing of it.
set -u
setup=$(realpath "$1")
runner=$(realpath "$(dirname "$0")/../../scripts/wine-run.sh")
export WINEDEBUG=-all
passed=0
failed=0
check() {  # check NAME STATUS
    if [ "$2" = 0 ]; then echo "ok   $1"; passed=$((passed + 1)); else echo "FAIL $1"; failed=$((failed + 1)); fi
}
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Halden'
value() {  # value NAME: the uninstall entry's value, as reg query prints it
    "$runner" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

"$runner" "$setup" /S
wineserver -w
dir=$(winepath -u 'C:\Program Files\Halden' 2>/dev/null | tr -d '\r')
menu=$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs' 2>/dev/null | tr -d '\r')
rc=0
for f in halden.exe halden-gui.exe README.txt uninstall.exe examples/halden-1.4.hfi examples/halden-1.5.hfi; do
    [ -f "$dir/$f" ] || { echo "     missing: $f"; rc=1; }
done
check "the files are in Program Files" $rc
[ -f "$menu/Halden Firmware Update Utility.lnk" ]
check "the Start menu has \"Halden Firmware Update Utility\"" $?
[ "$(value DisplayName)" = "Halden Firmware Update Utility" ] &&
    [ "$(value DisplayVersion)" = "1.0.0" ] &&
    [ "$(value UninstallString)" = '"C:\Program Files\Halden\uninstall.exe"' ] &&
    [ "$(value QuietUninstallString)" = '"C:\Program Files\Halden\uninstall.exe" /S' ]
check "the list of installed programs has it" $?
out=$("$runner" 'C:\Program Files\Halden\halden.exe' --version 2>&1 | tr -d '\r')
[ "$out" = "halden 1.0.0" ]
check "halden.exe --version runs from there ($out)" $?
out=$(cd "$dir" && "$runner" 'C:\Program Files\Halden\halden.exe' check examples/halden-1.5.hfi 2>&1 | tr -d '\r')
[ "$out" = "examples/halden-1.5.hfi: a valid image of 16397 bytes, 3 records, 1 area with 16384 bytes to write" ]
check "and checks an installed sample" $?

# The uninstaller copies itself away and runs from there: wait for every Wine process.
"$runner" 'C:\Program Files\Halden\uninstall.exe' /S
wineserver -w
[ ! -e "$dir" ]
check "a silent uninstall removes the folder" $?
[ ! -e "$menu/Halden Firmware Update Utility.lnk" ]
check "... the Start-menu entry" $?
! "$runner" reg query "$key" >/dev/null 2>&1
check "... and the entry in the list of installed programs" $?

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
