#!/bin/sh
# Makes the BMP test pictures in tests/data/bmp/ with ImageMagick, each with
# the gray raster we expect from it: ImageMagick's own decoding of the file to
# R, G, B, A, composed over white and reduced by the program's gray rule
# (gray = round((0.587 G + 0.299 R) + 0.114 B), Python's round() being
# half-to-even on binary64, as the program's), written as a binary PGM.
# The files are committed; run this again only to change them.
set -eu
cd "$(dirname "$0")/../tests/data/bmp"
rm -f ./*.bmp ./*.pgm

# OS/2 1.x core header, 4-bit palette of 3-byte entries.
convert -size 24x16 gradient:'#d04010-#1060c0' -colors 12 BMP2:core-palette.bmp
# RLE8 (ImageMagick writes encoded runs and line ends only; the tests write
# absolute runs and deltas themselves).
convert -seed 3 -size 40x24 plasma:fractal -colors 20 -compress RLE BMP3:rle8.bmp
# RLE8 of odd width: ImageMagick encodes each row in the padded width, so its
# runs pass the right edge. Its pixels must be those of the same picture
# stored uncompressed.
convert -seed 5 -size 37x11 plasma:fractal -colors 20 -compress RLE BMP3:rle8-odd-width.bmp
convert rle8-odd-width.bmp -compress None BMP3:- | convert - -depth 8 rgb:- >plain.rgb
convert rle8-odd-width.bmp -depth 8 rgb:- | cmp - plain.rgb
rm plain.rgb
# 24 bits, rows of 37 pixels: padded, and long enough for vector code.
convert -seed 4 -size 37x9 plasma:fractal BMP3:rgb24.bmp
# 1 bit, 40-byte header.
convert -size 30x10 pattern:checkerboard -monochrome BMP3:mono.bmp
# V5 header, 32-bit bit fields with an alpha mask.
convert -size 24x16 gradient:'#ff8000ff-#0020c000' \( -size 24x16 gradient:white-black -rotate 90 \) \
    -compose multiply -composite BMP:v5-alpha.bmp
# No 16-bit sample: ImageMagick widens 5- and 6-bit channels by repeating
# their top bits and 4-bit ones by a plain shift, where the program rounds
# value * 255 / max; the tests check 16-bit files against written-out values.

for bmp in ./*.bmp; do
    size=$(identify -format '%w %h' "$bmp")
    convert "$bmp" -depth 8 rgba:- | /usr/bin/python3 -c '
import sys
width, height = map(int, sys.argv[1:3])
rgba = sys.stdin.buffer.read()
assert len(rgba) == 4 * width * height
def over_white(v, a):
    return (v * a + 255 * (255 - a) + 127) // 255
gray = bytearray()
for i in range(0, len(rgba), 4):
    r, g, b = (over_white(v, rgba[i + 3]) for v in rgba[i:i + 3])
    gray.append(round((0.587 * g + 0.299 * r) + 0.114 * b))
sys.stdout.buffer.write(b"P5\n%d %d\n255\n" % (width, height) + bytes(gray))
' $size >"${bmp%.bmp}.pgm"
done
ls -l
