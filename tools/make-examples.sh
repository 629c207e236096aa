#!/bin/sh
# Makes the example pictures in examples/ with ImageMagick: a few small
# pictures of every format the program reads. The files are committed; run
# this again only to change them.
set -eu
cd "$(dirname "$0")/../examples"
rm -f ./*.png ./*.jpg ./*.gif ./*.bmp
convert -size 320x200 gradient:'#d04010-#1060c0' -rotate 90 -resize 320x200! -depth 8 01-gradient.png
convert -seed 7 -size 400x300 plasma:fractal -blur 0x1 -quality 88 02-plasma.jpg
convert -size 240x160 xc:white -fill '#2080ff' -draw 'circle 120,80 120,20' \
    -fill '#ff4020' -draw 'rectangle 20,20 80,140' -colors 16 03-shapes.gif
convert -size 200x200 pattern:checkerboard -fill '#30a050' -colorize 40 BMP3:04-checker.bmp
convert -size 256x64 gradient:black-white -define png:color-type=0 05-gray-ramp.png
