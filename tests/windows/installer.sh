#!/bin/sh
# The NSIS installer under wine, silently: the programs and the device list
# in the program folder, the Start-menu shortcut, the user's own program
# folder %APPDATA%\Ferrolux with a copy of the list, which the installed
# ferrolux-cli.exe finds from any folder; then the uninstaller.
# Usage: installer.sh INSTALLER WORK_DIR   (WINEPREFIX from the environment)
set -eu
installer=$1 work=$2
wine=${WINE:-wine}
drive_c=$WINEPREFIX/drive_c
failed=0 passed=0
check() {  # check WHAT COMMAND...
    what=$1
    shift
    if "$@" >/dev/null 2>&1; then
        echo "ok   $what"
        passed=$((passed + 1))
    else
        echo "FAIL $what"
        failed=$((failed + 1))
    fi
}

$wine "$installer" /S
wineserver -w
dir="$drive_c/Program Files/Ferrolux"
user="$drive_c/users/$(id -un)/AppData/Roaming/Ferrolux"
for f in ferrolux.exe ferrolux-cli.exe kestrum.ini manual.html; do
    check "installed $f" test -f "$dir/$f"
done
check "the user's program folder holds the list" cmp "$dir/kestrum.ini" "$user/kestrum.ini"
link=$(find "$drive_c" -name Ferrolux.lnk | head -n 1)
check "Start-menu shortcut" test -n "$link"
# Its texts are UTF-16: without the zero bytes they read as ASCII.
check "the shortcut starts in the user's folder" sh -c "tr -d '\\000' <'$link' | grep -qa 'Roaming.Ferrolux'"

rm -rf "$work"
mkdir -p "$work"
(cd "$work" && $wine "$dir/ferrolux-cli.exe" chips >chips.out 2>&1) || true
check "ferrolux-cli.exe finds the user's list from an empty folder" grep -q PIC16F84A "$work/chips.out"
check "and leaves the empty folder as it was" test ! -e "$work/kestrum.cfg"

$wine "$dir/Uninstall.exe" /S
wineserver -w
sleep 2  # the uninstaller finishes from a copy of itself
wineserver -w
check "uninstalled" test ! -e "$dir/ferrolux.exe"
check "the user's own folder is kept" test -f "$user/kestrum.ini"
echo "$passed passed, $failed failed"
[ $failed = 0 ]
