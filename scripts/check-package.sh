#!/usr/bin/env bash
# Checks the Debian package made by `make package`: lintian finds no error, and unpacked into
# a temporary folder both programs run from there: brimvale-resize --help and a batch of two
# pictures, brimvale offscreen drawing its window into a picture, and the version record in the
# stripped programs.
set -u
build="${1:?build folder}"
deb=$(ls "$build"/brimvale_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "check-package: no package in $build"; exit 1; }
status=0
fail() { echo "check-package: $*"; status=1; }

lintian --fail-on error "$deb" || fail "lintian reports errors"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp/root" || fail "cannot unpack $deb"
bin="$tmp/root/usr/bin"
"$bin/brimvale-resize" --help >/dev/null || fail "brimvale-resize --help"
mkdir -p "$tmp/in"
convert -size 64x48 gradient:red-blue "$tmp/in/a.jpg" && convert -size 40x30 xc:green "$tmp/in/b.png" ||
    fail "cannot make the test pictures"
"$bin/brimvale-resize" --quiet -s 50% -d "$tmp/out" "$tmp/in/a.jpg" "$tmp/in/b.png" >/dev/null ||
    fail "the batch of two pictures failed"
[ -f "$tmp/out/a_50pc.jpg" ] && [ -f "$tmp/out/b_50pc.jpg" ] || fail "the batch wrote $(ls "$tmp/out" 2>/dev/null)"
for program in brimvale brimvale-resize; do
    readelf -S "$bin/$program" | grep -q brimvale_version ||
        fail "$program lost its version record"
done
# The window, offscreen, drawn into a picture as it opens on the two pictures.
HOME="$tmp/home" BRIMVALE_UPDATE_URL=http://127.0.0.1:9 QT_QPA_PLATFORM=offscreen timeout 60 \
    "$bin/brimvale" --screenshot "$tmp/window.png" "$tmp/in/a.jpg" "$tmp/in/b.png" >/dev/null 2>&1 ||
    fail "brimvale --screenshot failed"
[ -s "$tmp/window.png" ] && identify "$tmp/window.png" >/dev/null 2>&1 || fail "no picture of the window"
exit $status
