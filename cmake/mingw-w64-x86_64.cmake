# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (posix threads).
# The libraries Debian has no MinGW package for (libpng, libjpeg-turbo,
# giflib, GoogleTest, libtiff, libwebp, libheif...) come from the prefix
# tools/windows-deps.sh fills: $FOLDER2PDF_WINDOWS_DEPS, else
# build-windows-deps/ in the source tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(DEFINED ENV{FOLDER2PDF_WINDOWS_DEPS} AND NOT "$ENV{FOLDER2PDF_WINDOWS_DEPS}" STREQUAL "")
    set(FOLDER2PDF_WINDOWS_DEPS "$ENV{FOLDER2PDF_WINDOWS_DEPS}")
else()
    get_filename_component(FOLDER2PDF_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build-windows-deps" ABSOLUTE)
endif()
set(CMAKE_FIND_ROOT_PATH "${FOLDER2PDF_WINDOWS_DEPS}" /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config reads the prefix's .pc files only, never this machine's own
# (those of the native build's libwebp or libheif); and, as the prefix's
# libraries are static but for the DLLs, with what each was built with.
set(ENV{PKG_CONFIG_LIBDIR} "${FOLDER2PDF_WINDOWS_DEPS}/lib/pkgconfig:${FOLDER2PDF_WINDOWS_DEPS}/share/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})
unset(ENV{PKG_CONFIG_SYSROOT_DIR})
set(PKG_CONFIG_ARGN --static)
# CMake's FindTIFF knows nothing of what a static libtiff needs.
list(APPEND CMAKE_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}/mingw-w64-modules")

# Programs that need no DLL beyond Windows' own: the C++ runtime, libgcc,
# winpthread and zlib (which also ships as a DLL) all linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)
