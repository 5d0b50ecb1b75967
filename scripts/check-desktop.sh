#!/usr/bin/env bash
# Checks what Brimvale installs for the desktop: the desktop entry and the AppStream record
# pass their validators, both manual pages format without a warning, and an install into a
# prefix and into a DESTDIR lays out every file, with a brimvale-resize there that runs.
# Run by ctest with the source and build folders.
set -u
src="${1:?source folder}"
build="${2:?build folder}"
status=0
fail() { echo "check-desktop: $*"; status=1; }

desktop-file-validate "$src/res/linux/org.brimvale.Brimvale.desktop" || fail "desktop entry invalid"
appstreamcli validate --no-net "$src/res/linux/org.brimvale.Brimvale.metainfo.xml" >/dev/null ||
    fail "AppStream record invalid"
for page in "$src/res/man/brimvale.1" "$build/man/brimvale-resize.1"; do
    [ -f "$page" ] || { fail "no $page"; continue; }
    warnings=$(groff -ww -z -man "$page" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null || fail "install into a prefix failed"
DESTDIR="$tmp/stage" cmake --install "$build" --prefix /usr >/dev/null || fail "install into DESTDIR failed"
for root in "$tmp/prefix" "$tmp/stage/usr"; do
    for file in bin/brimvale bin/brimvale-resize share/applications/org.brimvale.Brimvale.desktop \
        share/metainfo/org.brimvale.Brimvale.metainfo.xml share/icons/hicolor/16x16/apps/org.brimvale.Brimvale.png \
        share/icons/hicolor/256x256/apps/org.brimvale.Brimvale.png share/icons/hicolor/scalable/apps/org.brimvale.Brimvale.svg \
        share/man/man1/brimvale.1.gz share/man/man1/brimvale-resize.1.gz share/doc/brimvale/README.md \
        share/doc/brimvale/copyright share/doc/brimvale/changelog.gz share/doc/brimvale/brimvale.html; do
        [ -e "$root/$file" ] || fail "missing $root/$file"
    done
done
"$tmp/prefix/bin/brimvale-resize" --help >/dev/null || fail "the installed brimvale-resize does not run"
exit $status
