#!/bin/sh
# ferrolux.exe under wine on a virtual X display, driven through its controls
# by window_driver.exe: a Write and a Verify on the simulated board end "OK",
# and the four windows are pictured as PNG files in PICTURE_DIR. The program
# directory has a non-ASCII name, so the file named at start has one too.
# Usage: run_window_test.sh FERROLUX_EXE DRIVER_EXE PORT_LIBRARY DEVICE_LIST HEX_FILE WORK_DIR
#                           PICTURE_DIR CLI_EXE
set -eu
ferrolux=$1 driver=$2 library=$3 device_list=$4 hex=$5 work=$6 pictures=$7 cli=$8
wine=${WINE:-wine}
# Wine takes the Unix names as UTF-8.
export LC_ALL=C.UTF-8

rm -rf "$work"
program="$work/Prüfung_Проба"
mkdir -p "$work/app" "$program" "$work/bmp" "$pictures"
# The program beside a port-I/O library, as installed; its own folder elsewhere.
cp "$ferrolux" "$library" "$work/app/"
cp "$device_list" "$program/kestrum.ini"
cp "$hex" "$program/"
# The state file names SIM1 and the chip, so that the start-up touches no
# port of the machine (ferrolux-cli stores both once the board answers).
(cd "$program" && $wine "$cli" -q -P SIM1 -p PIC16F628A detect >/dev/null)
status=0
# A wine session left from another display would draw nowhere: start afresh.
wineserver -k 2>/dev/null || true
# A desktop of wine's own draws the title bars and frames (Xvfb has no window manager).
$wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
$wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
wineserver -w
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    cd "$6" && $2 "$1/app/$3" "$4" &
    $2 "$5" "$(winepath -w "$1/bmp")"; s=$?
    wineserver -w; exit $s' run "$work" "$wine" "$(basename "$ferrolux")" "$(basename "$hex")" \
    "$driver" "$program" | tr -d '\r' | tee "$work/driver.log" || status=$?
grep -q "^0 failed" "$work/driver.log" || status=1
for bmp in "$work"/bmp/*.bmp; do
    [ -f "$bmp" ] || continue
    name=$(basename "$bmp" .bmp)
    convert "$bmp" "$pictures/$name.png" || status=1
done
# The bytes edited in the data grid reached the chip; the third was undone.
eeprom=$(cd "$program" && $wine "$cli" -q -P SIM1 -p PIC16F628A eeprom | tr -d '\r' | head -3)
case $eeprom in
"0000: 41 
0001: 42 
0002: 43 "*) echo "FAIL data grid: Esc kept byte 2"; status=1 ;;
"0000: 41 
0001: 42 "*) echo "ok   data grid edits written: $(echo $eeprom)" ;;
*) echo "FAIL data grid edits not written: $(echo $eeprom)"; status=1 ;;
esac
exit $status
