#!/bin/sh
# Rebuilds the orientation fixtures (needs imagemagick, libimage-exiftool-perl, libtiff-tools).
# Every file of one kind holds the same stored pixels and differs only in its Orientation
# tag; upright-*.png is what ImageMagick's -auto-orient makes of each.
set -eu
IM=/usr/bin/convert
$IM -size 24x16 xc:white \
    -fill '#d02020' -draw 'rectangle 0,0 9,3' \
    -fill '#2040c0' -draw 'rectangle 17,9 23,15' \
    -fill '#20a040' -draw 'rectangle 2,7 6,14' \
    -fill '#f0c020' -draw 'point 23,0' base.ppm
$IM base.ppm -sampling-factor 1x1 -quality 95 colour.jpg
$IM base.ppm -colorspace Gray -quality 95 grey.jpg
$IM base.ppm -depth 8 -compress none rgb.tif
$IM base.ppm -colorspace Gray -depth 8 -compress none grey8.tif
$IM base.ppm -colorspace Gray -threshold 60% -type Bilevel -depth 1 -compress none bw.tif
for n in 1 2 3 4 5 6 7 8; do
  exiftool -q -n -Orientation=$n -o colour-o$n.jpg colour.jpg
  exiftool -q -n -ExifByteOrder=II -Orientation=$n -o grey-o$n.jpg grey.jpg
  for t in rgb grey8 bw; do cp $t.tif $t-o$n.tif; tiffset -s 274 $n $t-o$n.tif; done
  for f in colour grey; do $IM $f-o$n.jpg -auto-orient -strip upright-$f-o$n.png; done
  for t in rgb grey8 bw; do $IM $t-o$n.tif -auto-orient -strip upright-$t-o$n.png; done
done
rm -f base.ppm colour.jpg grey.jpg rgb.tif grey8.tif bw.tif
