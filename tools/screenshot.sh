#!/bin/sh
# Makes docs/screenshot.png: the window with the example pictures listed and
# the progress bar part-way (with "thumbnails", docs/screenshot-thumbnails.png:
# the list showing them), drawn on a virtual X server (Xvfb) with the CJK
# fonts of Debian's fonts-noto-cjk.
#
#   tools/screenshot.sh [BUILD-DIR [thumbnails]]      (default: build)
#
# Needs the packages xvfb, fonts-noto-cjk and Qt 6's X11 platform plugin.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shot=$root/docs/screenshot.png view=
if [ "${2:-}" = thumbnails ]; then
    shot=$root/docs/screenshot-thumbnails.png view=--thumbnails
fi

cmake --build "$build" --target folder2pdf-gui-screenshot
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/图片"
cp "$root"/examples/*.png "$root"/examples/*.jpg "$root"/examples/*.gif "$root"/examples/*.bmp \
    "$folder/图片/"

mkdir -p "$root/docs"
QT_QPA_PLATFORM=xcb xvfb-run --auto-servernum --server-args="-screen 0 800x600x24 -dpi 96" \
    "$build/app/folder2pdf-gui-screenshot" "$folder/图片" "$shot" $view
echo "$shot"
