#!/bin/sh
# Builds, into PREFIX, the Windows (x86_64 MinGW-w64, posix threads)
# libraries the Windows build needs and Debian has no MinGW package for,
# each from Debian's own source package with Debian's patches applied:
# static libpng, libjpeg-turbo, giflib, GoogleTest, libtiff, libwebp and
# dav1d; libde265 and libheif as DLLs (bin/), which a user may replace as
# their licence, the LGPL, asks. zlib comes from Debian's
# libz-mingw-w64-dev. The licence texts of the libraries that have none in
# this machine's /usr/share/doc go to PREFIX/share/licenses/. Installs the
# Debian packages it needs (as root, or through sudo), NSIS for the
# installer among them. Does nothing when they are there and PREFIX is
# complete.
#
#   tools/windows-deps.sh [PREFIX]     (default: build-windows-deps/)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$root/build-windows-deps}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
sources="libpng1.6 libjpeg-turbo giflib googletest tiff libwebp dav1d libde265 libheif"
stamp="$prefix/.complete"
complete() {
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$sources" ]
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt_get() {
    # Other apt-get runs may hold the lock for a while; wait for them.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 "$@"
}

# nsis: makensis, for the Windows installer; meson and nasm: dav1d.
packages="cmake ninja-build make gawk nasm meson pkg-config dpkg-dev g++-mingw-w64-x86-64-posix
libz-mingw-w64-dev wine wine64 nsis"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
if complete && [ -z "$missing" ]; then
    exit 0
fi
# apt-get source needs the source index of the archive the packages come from.
list=/etc/apt/sources.list.d/folder2pdf-src.sources
need_update=""
if ! complete && ! grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" \
        "Suites: bookworm bookworm-updates" "Components: main" \
        "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
        $sudo tee "$list" >/dev/null
    need_update=yes
fi
if [ -n "$missing" ] || [ -n "$need_update" ]; then
    apt_get update -qq
fi
if [ -n "$missing" ]; then
    echo "installing:$missing" >&2
    # shellcheck disable=SC2086
    apt_get install -y -qq --no-install-recommends $missing >/dev/null
fi
if complete; then
    exit 0
fi

work="$prefix/.work"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
for source in $sources; do
    apt-get source -qq "$source" >/dev/null 2>&1 || apt-get source "$source"
done

host=x86_64-w64-mingw32
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
export FOLDER2PDF_WINDOWS_DEPS="$prefix"
cmake_build() { # folder, options...
    folder=$1
    shift
    cmake -S "$folder" -B "$folder/_build" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >/dev/null
    cmake --build "$folder/_build" >/dev/null
    cmake --install "$folder/_build" >/dev/null
}

cmake_build libpng1.6-*/ -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON
cmake_build libjpeg-turbo-*/ -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DCMAKE_INSTALL_DOCDIR="$work/doc" -DCMAKE_INSTALL_MANDIR="$work/man"
cmake_build googletest-*/ -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON

# giflib has a plain Makefile made for Unix shared libraries: compile the
# library's own sources directly.
(
    cd giflib-*/
    objects=""
    for file in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
        [ -f "$file.c" ] || continue
        $host-gcc-posix -O2 -Wall -c "$file.c" -o "$file.o"
        objects="$objects $file.o"
    done
    rm -f libgif.a
    # shellcheck disable=SC2086
    $host-ar rcs libgif.a $objects
    mkdir -p "$prefix/lib" "$prefix/include"
    cp libgif.a "$prefix/lib/"
    cp gif_lib.h "$prefix/include/"
)

# libtiff with the codecs of the pictures folder2pdf reads: Deflate (zlib)
# and JPEG (the libjpeg-turbo above) besides the built-in LZW, PackBits and
# CCITT; none that needs a library more.
cmake_build tiff-*/ -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF \
    -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=ON -Djpeg=ON -Dold-jpeg=ON -Djpeg12=OFF -Dlibdeflate=OFF \
    -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dtiff-opengl=OFF
cmake_build libwebp-*/ -DBUILD_SHARED_LIBS=OFF -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
    -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_LIBWEBPMUX=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF

# dav1d, the AV1 decoder libheif reads AVIF with, is built with meson.
cat >mingw-w64.ini <<END
[binaries]
c = '$host-gcc-posix'
cpp = '$host-g++-posix'
ar = '$host-ar'
strip = '$host-strip'
windres = '$host-windres'
nasm = 'nasm'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
END
(
    cd dav1d-*/
    meson setup _build --cross-file "$work/mingw-w64.ini" --prefix "$prefix" --libdir lib \
        --buildtype release --default-library static -Denable_tools=false -Denable_tests=false \
        -Denable_examples=false -Denable_docs=false >/dev/null
    meson compile -C _build >/dev/null
    meson install -C _build >/dev/null
)

# libde265 and libheif are under the LGPL: DLLs, so that a user can put
# builds of their own in their place. Each has the C++ runtime, libgcc and
# winpthread linked in (-static), so that it needs no DLL but Windows' own
# and the other's, and exports no symbol of the static libraries in it.
dll_flags="-static -Wl,--exclude-libs,ALL"
cmake_build libde265-*/ -DBUILD_SHARED_LIBS=ON "-DCMAKE_SHARED_LINKER_FLAGS=$dll_flags" \
    -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF
# libheif decodes only, HEIC with libde265 and AVIF with dav1d, both built
# in: it loads no plugins.
cmake_build libheif-*/ -DBUILD_SHARED_LIBS=ON "-DCMAKE_SHARED_LINKER_FLAGS=$dll_flags" \
    -DENABLE_PLUGIN_LOADING=OFF -DWITH_LIBDE265=ON -DWITH_LIBDE265_PLUGIN=OFF -DWITH_DAV1D=ON \
    -DWITH_DAV1D_PLUGIN=OFF -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF \
    -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF -DWITH_EXAMPLES=OFF
rm -rf "$prefix/share/thumbnailers"
$host-strip --strip-unneeded "$prefix/bin/libde265.dll" "$prefix/bin/libheif.dll"
# A program links a DLL's import library alone: what went into the DLL
# is none of its business, not even under pkg-config --static.
sed -i '/^Requires.private:/d; /^Libs.private:/d' \
    "$prefix/lib/pkgconfig/libde265.pc" "$prefix/lib/pkgconfig/libheif.pc"

# The licence texts of the libraries above that this machine has no
# copyright file of, for the Windows packages: each names the Debian
# source package it was built from, which is its source.
licenses="$prefix/share/licenses"
mkdir -p "$licenses"
license() { # library, source folder, its licence files...
    library=$1
    folder=${2%/}
    shift 2
    {
        printf '%s: built from the Debian source package %s %s.\n\n' "$library" \
            "$(dpkg-parsechangelog -l "$folder/debian/changelog" -S Source)" \
            "$(dpkg-parsechangelog -l "$folder/debian/changelog" -S Version)"
        for file in "$@"; do
            cat "$folder/$file"
            echo
        done
    } >"$licenses/$library.txt"
}
license libtiff tiff-*/ LICENSE.md
license libwebp libwebp-*/ COPYING PATENTS
license dav1d dav1d-*/ COPYING doc/PATENTS
license libde265 libde265-*/ COPYING
license libheif libheif-*/ COPYING

cd "$prefix"
rm -rf "$work"
echo "$sources" >"$stamp"
echo "Windows libraries ready in $prefix" >&2
