#!/bin/sh
# Runs a Windows program under Wine in its own quiet prefix:
#   tools/wine-run.sh WINEPREFIX PROGRAM [ARGUMENTS...]
# CTest uses it as the emulator of the Windows build. The first run creates
# the prefix (about 10 s); parallel runs wait until it is complete instead
# of racing it. The prefix uses Wine's null display driver: the window
# tests create and drive real windows without an X server. It has no
# debugger for crashes, so that a program that crashes ends at once with
# an error instead of waiting in winedbg until the test's time runs out.
# FOLDER2PDF_WINE_DPI, when set as the prefix is made, is its screens'
# resolution (96 by default).
set -eu
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.complete" ]; then
    mkdir -p "$WINEPREFIX"
    flock "$WINEPREFIX/.lock" sh -c '
        [ -f "$WINEPREFIX/.complete" ] && exit 0
        wineboot -i >/dev/null 2>&1
        wine reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f >/dev/null 2>&1 &&
            wine reg add "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug" \
                /v Debugger /d false /f >/dev/null 2>&1 &&
            if [ -n "${FOLDER2PDF_WINE_DPI-}" ]; then
                wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD \
                    /d "$FOLDER2PDF_WINE_DPI" /f >/dev/null 2>&1
            fi &&
            wineserver -w &&
            touch "$WINEPREFIX/.complete"'
fi
exec wine "$@"
