#!/bin/sh
# Runs a Windows program under Wine in its own quiet prefix:
#   tools/wine-run.sh WINEPREFIX PROGRAM [ARGUMENTS...]
# CTest uses it as the emulator of the Windows build. The first run creates
# the prefix (about 10 s); parallel runs wait for that instead of racing.
set -eu
WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    flock "$WINEPREFIX/.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1'
fi
exec wine "$@"
