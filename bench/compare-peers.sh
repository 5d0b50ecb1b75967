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
# Then brimvale-resize's own options: --fast beside the exact route and vipsthumbnail (speed,
# and the pixel difference from the exact copies), --max-size (every file within the limit
# and close to it, the encodings per picture), and what keeping metadata and the colour
# profile costs.
#
#   bench/compare-peers.sh                 # COUNT=24 BIG_COUNT=12
#   KEEP=1 WORK=/tmp/b bench/compare-peers.sh   # keep the pictures and outputs
#   SECTIONS="fast maxsize metadata" bench/compare-peers.sh   # only those parts
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
COUNT=${COUNT:-24}
BIG_COUNT=${BIG_COUNT:-12}
WORK=${WORK:-$(mktemp -d /tmp/brimvale-peers.XXXXXX)}
BUILD=${BUILD:-$ROOT/build-bench}
PY=/usr/bin/python3
SECTIONS=${SECTIONS:-peers fast maxsize metadata}
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
if [[ $SECTIONS == *peers* ]]; then
  job "50 % to JPEG q75, $COUNT pictures of 3000 × 2000" photos half jpg
  job "Fit into 1024 × 768, JPEG q75, $COUNT pictures of 3000 × 2000" photos fit jpg
  job "Fit into 1024 × 768, JPEG q75, $BIG_COUNT pictures of 6000 × 4000" big fit jpg
  show_sizes=1
  job "50 % to PNG, $COUNT pictures of 3000 × 2000" photos half png
  show_sizes=""
fi

# ---- --fast -------------------------------------------------------------------------------------
cat >"$WORK/difference.py" <<'EOF2'
# Mean and largest absolute difference per channel (R, G, B) between the pictures of the same
# name in two folders: A B.
import os, sys
from PIL import Image, ImageChops, ImageStat
a, b = sys.argv[1:3]
total, peak, pixels = [0.0] * 3, [0] * 3, 0
for name in sorted(os.listdir(a)):
    x = Image.open(os.path.join(a, name)).convert("RGB")
    y = Image.open(os.path.join(b, name)).convert("RGB")
    d = ImageChops.difference(x, y)
    n = x.size[0] * x.size[1]
    for c, (mean, extrema) in enumerate(zip(ImageStat.Stat(d).mean, d.getextrema())):
        total[c] += mean * n
        peak[c] = max(peak[c], extrema[1])
    pixels += n
print("mean %.2f / %.2f / %.2f, max %d / %d / %d" % tuple([t / pixels for t in total] + peak))
EOF2

# Pictures per second of the last run_tool row, from its time.
last_rate() { awk -v n="$1" '{ s = $1; if (s <= 0) s = 0.01; printf "%.2f", n / s }' "$WORK/time.txt"; }

# fast_job TITLE SET SIZE-OPTIONS THUMB TARGET: --fast, the exact route and vipsthumbnail on one
# set, their speeds compared, and the fast copies' difference from the exact ones.
fast_job() {
  local title=$1 set=$2 size=$3 thumb=$4 target=$5
  inputs=("$WORK/$set"/*.jpg)
  local n=${#inputs[@]} fast exact vips
  header "$title"
  # shellcheck disable=SC2086
  run_tool "brimvale-resize --fast (-j $(nproc))" "$n" "$WORK/out-fast" "$OURS" --quiet --fast -q 75 $size -d "$WORK/out-fast" "${inputs[@]}"
  fast=$(last_rate "$n")
  # shellcheck disable=SC2086
  run_tool "brimvale-resize (-j $(nproc))" "$n" "$WORK/out-exact" "$OURS" --quiet -q 75 $size -d "$WORK/out-exact" "${inputs[@]}"
  exact=$(last_rate "$n")
  run_tool "vipsthumbnail" "$n" "$WORK/out" vipsthumbnail -s "$thumb" -o "$WORK/out/%s.jpg[Q=75]" "${inputs[@]}"
  vips=$(last_rate "$n")
  echo
  awk -v f="$fast" -v e="$exact" -v v="$vips" -v t="$target" 'BEGIN {
    printf "--fast: %.2f × vipsthumbnail'"'"'s pictures per second%s, %.2f × the exact route'"'"'s\n",
           f / v, t ? sprintf(" (target ≥ %s)", t) : "", f / e }'
  echo "--fast against the exact copies, per channel R / G / B: $($PY "$WORK/difference.py" "$WORK/out-exact" "$WORK/out-fast")"
}

if [[ $SECTIONS == *fast* ]]; then
  fast_job "--fast: fit into 1024 × 768, $COUNT pictures of 3000 × 2000 (full decode: half is less than twice the target)" \
    photos "-s 1024x768" 1024x768 2.5
  fast_job "--fast: 50 %, $BIG_COUNT pictures of 6000 × 4000 (full decode)" big "-s 50%" 3000x2000 2
  fast_job "--fast: fit into 1024 × 768, $BIG_COUNT pictures of 6000 × 4000 (decoded at 1/2)" big "-s 1024x768" 1024x768 ""
  fast_job "--fast: fit into 640 × 480, $COUNT pictures of 3000 × 2000 (decoded at 1/2)" photos "-s 640x480" 640x480 ""
  fast_job "--fast: fit into 320 × 240, $BIG_COUNT pictures of 6000 × 4000 (decoded at 1/8)" big "-s 320x240" 320x240 ""
fi

# ---- --max-size ---------------------------------------------------------------------------------
if [[ $SECTIONS == *maxsize* ]]; then
  LIMIT=${LIMIT:-150K}
  inputs=("$WORK/photos"/*.jpg)
  n=${#inputs[@]}
  rm -rf "$WORK/out-max"
  cat "${inputs[@]}" >/dev/null
  /usr/bin/time -f '%e %M' -o "$WORK/time.txt" "$OURS" --max-size "$LIMIT" -s 50% -d "$WORK/out-max" "${inputs[@]}" >"$WORK/max.txt"
  echo
  echo "### --max-size $LIMIT, 50 %, $n pictures of 3000 × 2000"
  echo
  awk -v n="$n" '{ printf "%.2f pictures/s, peak %.0f MB\n", n / ($1 > 0 ? $1 : 0.01), $2 / 1024 }' "$WORK/time.txt"
  limit=$(awk -v l="$LIMIT" 'BEGIN { u = toupper(substr(l, length(l))); v = l + 0;
    print u == "K" ? v * 1024 : u == "M" ? v * 1048576 : v }')
  find "$WORK/out-max" -name '*.jpg' -printf '%s\n' | awk -v l="$limit" '
    { n++; s += $1; if ($1 > l) over++; if ($1 < 0.9 * l) under++; if (!min || $1 < min) min = $1; if ($1 > max) max = $1 }
    END { printf "%d files, %.1f %% to %.1f %% of the limit (mean %.1f %%): %d over it, %d below 90 %%\n",
                 n, 100 * min / l, 100 * max / l, 100 * s / n / l, over, under }'
  sed -n 's/.*quality \([0-9]*\) after \([0-9]*\) encodings.*/\1 \2/p' "$WORK/max.txt" |
    awk '{ n++; q += $1; e += $2 } END { printf "mean quality %.1f, mean encodings per picture %.2f\n", q / n, e / n }'
  # The JPEG writer keeps full chroma from quality 90 up, so 89 -> 90 is a step of about a
  # third: a limit inside it leaves no quality closer.
  sed -n 's/.* -> \(.*\) (.*quality \([0-9]*\) after.*/\1 \2/p' "$WORK/max.txt" | while read -r file quality; do
    echo "$(stat -c %s "$file") $quality"; done |
    awk -v l="$limit" '$1 < 0.9 * l { n++; if ($2 == 89) at89++ } END {
      printf "below 90 %% of the limit: %d, of them at quality 89 (the step to full chroma at 90): %d\n", n, at89 }'
fi

# ---- metadata and colour profile --------------------------------------------------------------
if [[ $SECTIONS == *metadata* ]]; then
  # The photographs again with an EXIF block (camera, dates, GPS, a maker note) and an sRGB
  # profile put in as segments after SOI, the coded picture unchanged.
  cat >"$WORK/add_metadata.py" <<'EOF2'
import glob, os, struct, sys
from PIL import Image, ImageCms
src, out = sys.argv[1:3]
exif = Image.Exif()
exif.update({0x010F: "Brimvale", 0x0110: "Bench camera", 0x0131: "bench", 0x0132: "2024:05:06 07:08:09",
             0x013B: "A. Photographer", 0x8298: "Copyright holder"})
# The Exif and GPS directories, with a 20 KB maker note as cameras write.
exif[0x8769] = {0x9003: "2024:05:06 07:08:09", 0x8827: 200, 0xA434: "Bench lens 50mm", 0x927C: b"M" * 20000}
exif[0x8825] = {1: "N", 3: "E"}
app1 = exif.tobytes()  # "Exif\0\0" and the TIFF structure
icc = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
app2 = b"ICC_PROFILE\0\1\1" + icc
segments = b"\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1 + b"\xff\xe2" + struct.pack(">H", len(app2) + 2) + app2
for path in sorted(glob.glob(os.path.join(src, "*.jpg"))):
    data = open(path, "rb").read()
    open(os.path.join(out, os.path.basename(path)), "wb").write(data[:2] + segments + data[2:])
EOF2
  mkdir -p "$WORK/meta"
  $PY "$WORK/add_metadata.py" "$WORK/photos" "$WORK/meta"
  inputs=("$WORK/meta"/*.jpg)
  n=${#inputs[@]}
  # Alternating runs, the best of each in elapsed and in processor time (user + system, which
  # other work on the machine disturbs less): the difference is smaller than one run's noise.
  for round in 1 2 3 4 5; do
    for mode in keep strip; do
      rm -rf "$WORK/out-meta"
      if [[ $mode == keep ]]; then opts=(--keep-metadata); else opts=(--strip-icc); fi
      /usr/bin/time -f "$mode %e %U %S" -a -o "$WORK/meta-times.txt" "$OURS" --quiet "${opts[@]}" -s 50% \
        -d "$WORK/out-meta" "${inputs[@]}" >/dev/null
    done
  done
  echo
  echo "### Metadata and colour profile kept, 50 % to JPEG q75, $n pictures of 3000 × 2000"
  echo
  awk -v n="$n" '
    function least(a, b) { return (b == "" || a < b) ? a : b }
    $1 == "keep" { ke = least($2, ke); kc = least($3 + $4, kc) }
    $1 == "strip" { se = least($2, se); sc = least($3 + $4, sc) }
    END {
      printf "--keep-metadata (profile kept) against --strip-icc, best of 5 each: elapsed %.2f / %.2f s (%+.1f %%), " \
             "processor %.2f / %.2f s (%+.1f %%); target < 3 %%\n", ke, se, 100 * (ke / se - 1), kc, sc, 100 * (kc / sc - 1) }' \
    "$WORK/meta-times.txt"
  rm -f "$WORK/meta-times.txt"
fi
