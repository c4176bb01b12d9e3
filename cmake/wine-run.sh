#!/bin/sh
# Runs a Windows test program under wine: CTest's emulator for the Windows build.
# One prefix per build tree (ORVEX_WINEPREFIX; the toolchain file names one), made on first use,
# headless and without the Mono and Gecko installers, which would wait for a click.
set -e
: "${WINEPREFIX:=${ORVEX_WINEPREFIX:-$HOME/.cache/orvex-wineprefix}}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/.orvex-ready" ]; then
    mkdir -p "$WINEPREFIX"
    # Parallel tests may arrive together: one makes the prefix, the others wait for it. The
    # marker, not system.reg, says it is done: the server may write that file later.
    flock "$WINEPREFIX/.init.lock" sh -c \
        '[ -f "$WINEPREFIX/.orvex-ready" ] || { "$1" wineboot -i >/dev/null 2>&1 && touch "$WINEPREFIX/.orvex-ready"; }' \
        sh "$wine"
fi
exec "$wine" "$@"
