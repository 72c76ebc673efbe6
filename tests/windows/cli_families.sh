#!/bin/sh
# ferrolux-cli.exe under wine writes, verifies and reads back a program of
# every family on the simulated board SIM1; its readback files (hex and
# listing, CR LF) must equal the Linux build's byte for byte.
# Usage: cli_families.sh LINUX_CLI WINDOWS_CLI HEX_DIR DEVICE_LIST WORK_DIR
# The wine prefix comes from the environment (WINEPREFIX, WINEDEBUG).
set -eu
linux_cli=$1 windows_cli=$2 hex_dir=$3 device_list=$4 work=$5
wine=${WINE:-wine}

rm -rf "$work"
failed=0 passed=0
for case in 1:PIC16F84A:family1 2:PIC16F877:family2 3:PIC16F73:family3 4:PIC12F675:family4 \
            5:PIC16F628A:family5 5:PIC16F887:midrange_16f887 6:PIC16F873A:family6 \
            7:PIC16F818:family7 8:PIC12C508:family8 9:PIC12F508:flash12_12f508_first \
            10:PIC16F616:midrange_16f616; do
    family=${case%%:*} rest=${case#*:}
    chip=${rest%%:*} hex=$hex_dir/${rest#*:}.hex
    ok=1
    for side in linux windows; do
        dir=$work/$side/$chip
        mkdir -p "$dir"
        cp "$device_list" "$dir/kestrum.ini"
        if [ $side = linux ]; then run="$linux_cli"; else run="$wine $windows_cli"; fi
        (
            cd "$dir" &&
                $run -q -y --force -P SIM1 -p "$chip" write "$hex" >write.out 2>&1 &&
                $run -q -P SIM1 -p "$chip" verify "$hex" >verify.out 2>&1 &&
                $run -q -P SIM1 -p "$chip" read >read.out 2>&1 &&
                $run -q -P SIM1 -p "$chip" read --text >text.out 2>&1
        ) || {
            echo "FAIL family $family ($chip) on $side: $(cat "$dir"/*.out | tr -d '\r')"
            ok=0
        }
    done
    for f in readback.hex readback.txt; do
        [ $ok = 1 ] || break
        if ! cmp -s "$work/linux/$chip/$f" "$work/windows/$chip/$f"; then
            echo "FAIL family $family ($chip): $f differs from the Linux build's"
            ok=0
        fi
    done
    # Both files end their lines with CR LF.
    if [ $ok = 1 ] && ! grep -q "$(printf '\r')\$" "$work/windows/$chip/readback.hex"; then
        echo "FAIL family $family ($chip): readback.hex has no CR LF line ends"
        ok=0
    fi
    if [ $ok = 1 ]; then
        echo "ok   family $family ($chip): write, verify, readback.hex and readback.txt identical"
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
done
echo "$passed passed, $failed failed"
[ $failed = 0 ]
