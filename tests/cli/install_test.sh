#!/bin/sh
# Installs the build into a fresh prefix, checks the installed files, and runs
# the installed ferrolux-cli from an empty directory, where it must find the
# shipped device list through the per-user program directory.
# Usage: install_test.sh BUILD_DIR GUI(ON|OFF)
set -eu
build=$1
gui=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/usr" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/ferrolux-cli share/ferrolux/kestrum.ini share/man/man1/ferrolux-cli.1 \
         share/doc/ferrolux/copyright share/doc/ferrolux/changelog share/doc/ferrolux/manual.html; do
    [ -f "$tmp/usr/$f" ] || fail "$f not installed"
done
if [ "$gui" = ON ]; then
    for f in bin/ferrolux bin/ferrolux-desktop share/man/man1/ferrolux.1 \
             share/applications/ferrolux.desktop share/mime/packages/ferrolux-ihex.xml; do
        [ -f "$tmp/usr/$f" ] || fail "$f not installed"
    done
    grep -q '^Exec=ferrolux-desktop %f$' "$tmp/usr/share/applications/ferrolux.desktop" ||
        fail "the desktop entry takes no file"
    # Its MIME type is the one the shipped MIME package declares.
    mime=$(sed -n 's/^MimeType=\([^;]*\);$/\1/p' "$tmp/usr/share/applications/ferrolux.desktop")
    grep -q "<mime-type type=\"$mime\">" "$tmp/usr/share/mime/packages/ferrolux-ihex.xml" ||
        fail "the desktop entry's MIME type $mime is not declared"
fi
grep -q 'GPL-2.0-or-later' "$tmp/usr/share/doc/ferrolux/copyright" || fail "copyright names no licence"

mkdir "$tmp/empty"
cd "$tmp/empty"
XDG_DATA_HOME="$tmp/xdg" "$tmp/usr/bin/ferrolux-cli" chips >"$tmp/chips" || fail "chips failed"
grep -qx PIC16F628A "$tmp/chips" || fail "no chip list"
[ -f "$tmp/xdg/ferrolux/kestrum.ini" ] || fail "no per-user device list"
[ -z "$(ls -A "$tmp/empty")" ] || fail "files left in the current directory"
echo "install tree and chips from an empty directory: OK"
