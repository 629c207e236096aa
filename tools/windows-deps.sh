#!/bin/sh
# Builds, into PREFIX, the static Windows (x86_64 MinGW-w64, posix threads)
# libraries the Windows build needs and Debian has no MinGW package for:
# libpng, libjpeg-turbo, giflib and GoogleTest, each from Debian's own
# source package with Debian's patches applied. zlib comes from Debian's
# libz-mingw-w64-dev. Installs the Debian packages it needs (as root, or
# through sudo), NSIS for the installer among them. Does nothing when they
# are there and PREFIX is complete.
#
#   tools/windows-deps.sh [PREFIX]     (default: build-windows-deps/)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$root/build-windows-deps}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
sources="libpng1.6 libjpeg-turbo giflib googletest"
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

# nsis: makensis, for the Windows installer.
packages="cmake ninja-build make gawk nasm dpkg-dev g++-mingw-w64-x86-64-posix
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

cd "$prefix"
rm -rf "$work"
echo "$sources" >"$stamp"
echo "Windows libraries ready in $prefix" >&2
