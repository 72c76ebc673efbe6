#!/bin/sh
# ferrolux-cli.exe under wine, started in a folder with a non-ASCII name,
# writes and verifies a hex file from another such folder on the simulated
# board SIM1, reads the chip back into a file with a non-ASCII name and
# verifies the chip against that readback.
# Usage: cli_unicode_path.sh WINDOWS_CLI HEX_FILE DEVICE_LIST WORK_DIR
set -eu
cli=$1 hex=$2 device_list=$3 work=$4
wine=${WINE:-wine}
# Wine takes the names in the command line as UTF-8.
export LC_ALL=C.UTF-8

rm -rf "$work"
program="$work/Prüfung_Проба" files="$work/Jörg/Проекты_測試"
mkdir -p "$program" "$files"
cp "$device_list" "$program/kestrum.ini"
cp "$hex" "$files/blink_ü.hex"
readback="$files/Rückgabe_чтение.hex"

run() {
    (cd "$program" && $wine "$cli" -q -P SIM1 -p PIC16F628A "$@") >"$work/out" 2>&1 || {
        echo "FAIL $*: $(tr -d '\r' <"$work/out")"
        exit 1
    }
}
run -y write "$files/blink_ü.hex"
run verify "$files/blink_ü.hex"
run read -o "$readback"
[ -s "$readback" ] || { echo "FAIL: no $readback"; exit 1; }
run verify "$readback"
echo "ok   write, verify and read back with non-ASCII folder and file names"
