#!/usr/bin/env bash
# Fails when a file includes what its layer may not: the imaging layer, the network layer, the
# command line and the rules that build without Qt (in browse/, app/ and preview/) include no Qt header, and no
# layer includes a higher one. Run by ctest; prints each offending line.
set -u
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root" || exit 2
status=0

# check FILES... -- FORBIDDEN-REGEX WHY
check() {
    local pattern="$1" why="$2"
    shift 2
    local file
    for file in "$@"; do
        [ -f "$file" ] || continue
        while IFS= read -r hit; do
            echo "$file: $hit  ($why)"
            status=1
        done < <(grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($pattern)" "$file")
    done
}

qt='Q[A-Za-z]*(/|>|\.h)|Qt[A-Za-z]*/'
higher_than_imaging='app/|browse/|preview/|controls/|cli/|net/|platform/widgets/'
higher_than_rules='controls/|cli/|net/|platform/widgets/|app/brimvale|app/aboutdlg|app/imgtypedlg|preview/previewpane|preview/selectedpicture'

shopt -s nullglob globstar
check "$qt|$higher_than_imaging" "imaging has no Qt and no higher layer" imaging/**/*.cpp imaging/**/*.h
check "$qt|app/brimvale|controls/|preview/|platform/widgets/|net/" "the command line has no Qt and no window" cli/*.cpp cli/*.h
check "$qt|$higher_than_rules" "Qt-free rules" \
    browse/classify.* browse/formatsize.* browse/naming.* browse/savetext.* browse/foldertree.* \
    browse/destinations.* browse/saveengine.* browse/startfiles.* app/registrystore.* app/settings.* app/sizerule.* preview/layout.* preview/croprules.*
check "$qt|platform/widgets/|platform/gui/metafile|$higher_than_imaging|imaging/" "the platform core has no Qt" \
    platform/*.cpp platform/*.h
check "$qt|app/|browse/|preview/|controls/|cli/|imaging/|platform/widgets/|platform/gui/" "the network layer has no Qt and no window" \
    net/*.cpp net/*.h
exit $status
