#!/bin/sh
# Makes docs/screenshot-windows.png: the native Windows window with the
# example pictures listed and the progress bar half-way (with "thumbnails",
# docs/screenshot-windows-thumbnails.png: the list showing them), run by Wine in a
# virtual desktop on a virtual X server (Xvfb). Wine has no 宋体 (SimSun) of
# its own: the script makes Debian's Noto CJK fonts stand in for it (and for
# the other Chinese faces Windows names) in a Wine prefix of its own.
#
#   tools/screenshot-windows.sh [BUILD-DIR [thumbnails]]   (default: build-windows)
#
# Needs the packages wine, wine64, fonts-wine (the frame's button glyphs),
# xvfb, xauth, fonts-noto-cjk and imagemagick, and a Windows build
# (cmake --preset windows).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = --on-display ]; then
    # Second half, on the virtual X server.
    build=$2 work=$3 view=$4 shot=$5
    wine explorer /desktop=shot,560x640 "$build/app/folder2pdf-gui-screenshot.exe" \
        "$(winepath -w "$work/图片")" "$(winepath -w "$work/place")" $view >/dev/null 2>&1 &
    i=0
    while [ ! -s "$work/place" ] && [ $i -lt 60 ]; do
        sleep 1
        i=$((i + 1))
    done
    sleep 3 # the first paint
    read -r left top right bottom <"$work/place"
    import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
        "$shot"
    wineserver -k
    exit 0
fi

build=$(cd "${1:-"$root/build-windows"}" && pwd)
view=${2:-}
shot=$root/docs/screenshot-windows${view:+-$view}.png
# One scratch folder for the pictures and the Wine prefix.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target folder2pdf-gui-screenshot
mkdir "$work/图片"
cp "$root"/examples/*.png "$root"/examples/*.jpg "$root"/examples/*.gif "$root"/examples/*.bmp \
    "$work/图片/"

export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine converts the command line with the Unix locale's character set.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
wineboot --init >/dev/null 2>&1
# regedit reads a UTF-16 file whatever the code page.
iconv -f UTF-8 -t UTF-16 >"$work/fonts.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"宋体"="Noto Serif CJK SC"
"SimSun"="Noto Serif CJK SC"
"新宋体"="Noto Serif CJK SC"
"NSimSun"="Noto Serif CJK SC"
"微软雅黑"="Noto Sans CJK SC"
"Microsoft YaHei"="Noto Sans CJK SC"
"Microsoft YaHei UI"="Noto Sans CJK SC"
REG
wine regedit "$work/fonts.reg" >/dev/null 2>&1
# Debian's Wine finds the frame buttons' font only inside the prefix.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
wineserver -w

mkdir -p "$root/docs"
xvfb-run --auto-servernum --server-args="-screen 0 560x640x24 -dpi 96" \
    "$0" --on-display "$build" "$work" "$view" "$shot"
echo "$shot"
