#!/bin/sh
# Runs a Windows executable of the x86_64 test build under 64-bit Wine, headless and quiet. The
# Wine prefix is WINEPREFIX when set (scripts/test.sh makes a temporary one), else a folder of its
# own under the system's temporary directory; it is created on first use.
set -eu
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="${TMPDIR:-/tmp}/korzem-wine-$(id -u)"
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No display: Wine must not try to reach an X server or start a desktop.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1 || true
fi
exec "$wine" "$@"
