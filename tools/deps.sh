#!/bin/sh
# Installs, from Debian's packages, what building and testing folder2pdf
# needs (for the fuzz preset: clang, its sanitizer and libFuzzer runtimes,
# llvm-symbolizer), unless it is there already. Runs apt-get as root
# (through sudo when started by another user).
#
#   tools/deps.sh [--package] [--pictures]
#
# --package adds what making and checking the Debian package needs
# (dpkg-shlibdeps, lintian, the AppStream and desktop file validators,
# xdg-mime, man, bash completion); --pictures what making the test pictures
# again needs (tools/make-test-pictures.py: Pillow and the formats' encoders
# and tools).
set -eu
packages="cmake ninja-build g++ pkg-config zlib1g-dev libpng-dev libjpeg62-turbo-dev libgif-dev
libtiff-dev libwebp-dev libheif-dev qt6-base-dev qt6-translations-l10n libgtest-dev libgmock-dev libbenchmark-dev qpdf poppler-utils mupdf-tools imagemagick fonts-noto-cjk
clang libclang-rt-14-dev llvm"
for option in "$@"; do
    case $option in
        --package)
            packages="$packages dpkg-dev lintian appstream desktop-file-utils xdg-utils man-db
bash-completion" ;;
        --pictures)
            packages="$packages python3-pil libjpeg-turbo-progs libtiff-tools webp libheif-examples
imagemagick" ;;
        *) echo "tools/deps.sh: unknown option $option" >&2; exit 2 ;;
    esac
done
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing:$missing" >&2
$sudo apt-get update -qq
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
