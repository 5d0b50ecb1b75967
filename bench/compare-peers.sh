#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times brimvale-resize beside ImageMagick, GraphicsMagick, libvips and Pillow on a set of
# photographs made at run time, and prints a Markdown table per job.
#
# The photographs are cut from the nature pictures of Debian's mate-backgrounds package
# (downloaded and unpacked into a temporary folder, not installed): COUNT pictures of
# 3000 x 2000 and BIG_COUNT of 6000 x 4000, JPEG quality 90, the same bytes on every run with
# the same Pillow. Missing tools are installed with apt-get (as root). Nothing is committed.
#
#   bench/compare-peers.sh                 # COUNT=24 BIG_COUNT=12
#   KEEP=1 WORK=/tmp/b bench/compare-peers.sh   # keep the pictures and outputs
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
COUNT=${COUNT:-24}
BIG_COUNT=${BIG_COUNT:-12}
WORK=${WORK:-$(mktemp -d /tmp/brimvale-peers.XXXXXX)}
BUILD=${BUILD:-$ROOT/build-bench}
PY=/usr/bin/python3
mkdir -p "$WORK"
if [[ -z "${KEEP:-}" ]]; then trap 'rm -rf "$WORK"' EXIT; fi

# ---- tools -------------------------------------------------------------------------------
missing=()
command -v mogrify >/dev/null || missing+=(imagemagick)
command -v gm >/dev/null || missing+=(graphicsmagick)
command -v vipsthumbnail >/dev/null || missing+=(libvips-tools)
command -v djpeg >/dev/null || missing+=(libjpeg-turbo-progs)
[[ -x /usr/bin/time ]] || missing+=(time)
{ [[ -x $PY ]] && $PY -c 'import PIL' 2>/dev/null; } || missing+=(python3-pil)
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  if [[ $(id -u) -ne 0 ]]; then echo "run as root, or install them first" >&2; exit 1; fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >"$WORK/apt.log" 2>&1 ||
    { tail -20 "$WORK/apt.log" >&2; exit 1; }
fi

# ---- our program, optimised ----------------------------------------------------------------
{ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRIMVALE_TESTS=OFF -DBRIMVALE_BENCH=OFF &&
  cmake --build "$BUILD" --target brimvale-resize; } >"$WORK/build.log" 2>&1 || { tail -30 "$WORK/build.log" >&2; exit 1; }
OURS=$BUILD/bin/brimvale-resize

# ---- the photographs -------------------------------------------------------------------------
mkdir -p "$WORK/pkg" "$WORK/photos" "$WORK/big"
if [[ ! -d $WORK/pkg/x ]]; then
  (cd "$WORK/pkg" && apt-get download mate-backgrounds >/dev/null 2>&1 && dpkg-deb -x mate-backgrounds_*.deb x)
fi
cat >"$WORK/make_photos.py" <<'EOF'
# Cuts COUNT photographs of W x H from the source pictures: a 3:2 window, smaller on each
# round through the sources, slid to a different place for every picture, every other one
# mirrored, scaled with Lanczos and stored at JPEG quality 90.
import glob, os, sys
from PIL import Image, ImageOps
src, out, count, w, h = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
sources = sorted(glob.glob(os.path.join(src, "nature", "*.jpg")))
for k in range(count):
    path = os.path.join(out, "photo_%02d.jpg" % k)
    if os.path.exists(path):
        continue
    im = Image.open(sources[k % len(sources)]).convert("RGB")
    sw, sh = im.size
    frac = 1.0 - 0.15 * ((k // len(sources)) % 3)
    cw = min(sw, sh * 3 // 2)
    cw = int(cw * frac)
    ch = cw * 2 // 3
    x = (sw - cw) * ((k * 7) % 11) // 10
    y = (sh - ch) * ((k * 3) % 5) // 4
    tile = im.crop((x, y, x + cw, y + ch)).resize((w, h), Image.LANCZOS)
    if k % 2:
        tile = ImageOps.mirror(tile)
    tile.save(path, quality=90)
EOF
SRC=$WORK/pkg/x/usr/share/backgrounds/mate
$PY "$WORK/make_photos.py" "$SRC" "$WORK/photos" "$COUNT" 3000 2000
$PY "$WORK/make_photos.py" "$SRC" "$WORK/big" "$BIG_COUNT" 6000 4000

# ---- the peers' commands ----------------------------------------------------------------------
cat >"$WORK/pil_resize.py" <<'EOF'
# Pillow: MODE bicubic (full decode) or draft (JPEG DCT scaling first); KIND half or fit
# (into 1024 x 768, the longer side kept as Brimvale's preset box does).
import os, sys
from PIL import Image
mode, kind, fmt, out = sys.argv[1:5]
for f in sys.argv[5:]:
    im = Image.open(f)
    w, h = im.size
    if kind == "half":
        size = (w // 2, h // 2)
    else:
        size = (1024, int(1024 * h / w)) if h <= w else (int(768 * w / h), 768)
    if mode == "draft":
        im.draft("RGB", size)
    im = im.convert("RGB").resize(size, Image.BICUBIC)
    name = os.path.join(out, os.path.splitext(os.path.basename(f))[0] + "." + fmt)
    if fmt == "jpg":
        im.save(name, quality=75)
    else:
        im.save(name)
EOF
cat >"$WORK/vips_resize.sh" <<'EOF'
# libvips' resize operation, one process per picture: SCALE FORMAT OUT FILES...
scale=$1 fmt=$2 out=$3; shift 3
for f in "$@"; do
  name=$(basename "${f%.*}")
  if [[ $fmt == jpg ]]; then vips resize "$f" "$out/$name.jpg[Q=75]" "$scale" --kernel cubic
  else vips resize "$f" "$out/$name.png" "$scale" --kernel cubic; fi
done
EOF

cat >"$WORK/floor.sh" <<'EOF'
# The serial floor: libjpeg-turbo's djpeg of every picture, then its cjpeg of every result
# (the results given as PPM files made beforehand), one at a time: OUT PPMDIR FILES...
out=$1 ppm=$2; shift 2
for f in "$@"; do djpeg "$f" >/dev/null; done
for p in "$ppm"/*.ppm; do cjpeg -quality 75 "$p" >"$out/$(basename "${p%.ppm}").jpg"; done
EOF

# ---- measuring ---------------------------------------------------------------------------------
# run_tool LABEL COUNT OUTDIR COMMAND... → one table row; the first row of a job is ours.
our_seconds=""
run_tool() {
  local label=$1 count=$2 out=$3
  shift 3
  rm -rf "$out"
  mkdir -p "$out"
  cat "${inputs[@]}" >/dev/null # same page cache for everyone
  if ! /usr/bin/time -f '%e %M' -o "$WORK/time.txt" "$@" >"$WORK/log.txt" 2>&1; then
    printf '| %s | failed: %s |||\n' "$label" "$(tail -1 "$WORK/log.txt")"
    return
  fi
  local seconds kb produced bytes
  read -r seconds kb < <(tail -1 "$WORK/time.txt")
  produced=$(find "$out" -type f | wc -l)
  bytes=$(find "$out" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  [[ -z $our_seconds ]] && our_seconds=$seconds
  awk -v l="$label" -v n="$count" -v p="$produced" -v s="$seconds" -v kb="$kb" -v o="$our_seconds" \
      -v b="$bytes" -v sizes="$show_sizes" 'BEGIN {
        if (s <= 0) s = 0.01;
        row = sprintf("| %s | %.2f | %.0f | %.2f×", l, n / s, kb / 1024, s / o);
        if (sizes) row = row sprintf(" | %.1f", b / 1048576);
        if (p != n) row = row sprintf(" (%d of %d written)", p, n);
        print row " |" }'
}

header() {
  echo
  echo "### $1"
  echo
  if [[ -n $show_sizes ]]; then
    echo "| tool | pictures/s | peak MB | time vs ours | output MB |"
    echo "|---|---|---|---|---|"
  else
    echo "| tool | pictures/s | peak MB | time vs ours |"
    echo "|---|---|---|---|"
  fi
  our_seconds=""
}

# job TITLE SET KIND FORMAT: every tool on one set of pictures.
job() {
  local title=$1 set=$2 kind=$3 fmt=$4
  inputs=("$WORK/$set"/*.jpg)
  # GraphicsMagick joins -output-directory and the input's path, so it gets bare names.
  local names=("${inputs[@]##*/}")
  local n=${#inputs[@]} w
  w=$(vipsheader -f width "${inputs[0]}")
  local ours=(-s 50%) im=(-resize 50%) thumb half=0.5 scale
  if [[ $kind == half ]]; then thumb="$((w / 2))x$((w / 3))"; scale=$half
  else ours=(-s 1024x768); im=(-resize 1024x768); thumb=1024x768; scale=$(awk -v w="$w" 'BEGIN {printf "%.10f", 1024 / w}'); fi
  local o=$WORK/out
  header "$title"
  run_tool "brimvale-resize (-j $(nproc))" "$n" "$o" "$OURS" --quiet -q 75 -t "$fmt" "${ours[@]}" -d "$o" "${inputs[@]}"
  run_tool "brimvale-resize -j 1" "$n" "$o" "$OURS" --quiet -j 1 -q 75 -t "$fmt" "${ours[@]}" -d "$o" "${inputs[@]}"
  if [[ $fmt == jpg && $kind == half ]]; then
    # Our results as PPM, made outside the timing, for the floor's cjpeg.
    rm -rf "$WORK/ppm" && mkdir -p "$WORK/ppm"
    for r in "$o"/*.jpg; do djpeg "$r" >"$WORK/ppm/$(basename "${r%.jpg}").ppm"; done
    run_tool "serial floor: djpeg + cjpeg, one at a time" "$n" "$o" bash "$WORK/floor.sh" "$o" "$WORK/ppm" "${inputs[@]}"
  fi
  if [[ $fmt == jpg ]]; then
    run_tool "ImageMagick mogrify (Catrom)" "$n" "$o" mogrify -path "$o" -filter Catrom "${im[@]}" -quality 75 "${inputs[@]}"
    run_tool "GraphicsMagick mogrify (Catrom)" "$n" "$o" env -C "$WORK/$set" gm mogrify -output-directory "$o" -filter Catrom "${im[@]}" -quality 75 "${names[@]}"
    run_tool "vipsthumbnail" "$n" "$o" vipsthumbnail -s "$thumb" -o "$o/%s.jpg[Q=75]" "${inputs[@]}"
  else
    run_tool "ImageMagick mogrify (Catrom)" "$n" "$o" mogrify -path "$o" -format png -filter Catrom "${im[@]}" "${inputs[@]}"
    run_tool "GraphicsMagick mogrify (Catrom)" "$n" "$o" env -C "$WORK/$set" gm mogrify -output-directory "$o" -format png -filter Catrom "${im[@]}" "${names[@]}"
    run_tool "vipsthumbnail" "$n" "$o" vipsthumbnail -s "$thumb" -o "$o/%s.png" "${inputs[@]}"
  fi
  run_tool "vips resize --kernel cubic" "$n" "$o" bash "$WORK/vips_resize.sh" "$scale" "$fmt" "$o" "${inputs[@]}"
  run_tool "Pillow resize BICUBIC" "$n" "$o" "$PY" "$WORK/pil_resize.py" bicubic "$kind" "$fmt" "$o" "${inputs[@]}"
  run_tool "Pillow draft + BICUBIC" "$n" "$o" "$PY" "$WORK/pil_resize.py" draft "$kind" "$fmt" "$o" "${inputs[@]}"
}

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "Versions: $(mogrify -version | head -1 | cut -d' ' -f2-3), GraphicsMagick $(gm -version | head -1 | cut -d' ' -f2)," \
     "$(vips --version), Pillow $($PY -c 'import PIL; print(PIL.__version__)')"
show_sizes=""
job "50 % to JPEG q75, $COUNT pictures of 3000 × 2000" photos half jpg
job "Fit into 1024 × 768, JPEG q75, $COUNT pictures of 3000 × 2000" photos fit jpg
job "Fit into 1024 × 768, JPEG q75, $BIG_COUNT pictures of 6000 × 4000" big fit jpg
show_sizes=1
job "50 % to PNG, $COUNT pictures of 3000 × 2000" photos half png
