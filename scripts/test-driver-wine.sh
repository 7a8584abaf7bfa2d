#!/bin/sh
# Loads ZemDrv.x64.sys under 64-bit Wine (winedevice.exe hosts kernel drivers in user mode) and
# runs the driver test program against it in a fresh, temporary prefix that is removed afterwards.
#   usage: test-driver-wine.sh ZemDrv.x64.sys zemdrv_wine_test.exe
# Exit 0 when the test passed, 1 when it failed or timed out, 77 when wine64 is not installed.
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 ZemDrv.x64.sys zemdrv_wine_test.exe" >&2
  exit 2
fi
image=$(readlink -f "$1")
program=$(readlink -f "$2")
WINE=${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
WINESERVER=${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver)}
if [ ! -x "$WINE" ]; then
  echo "wine64 not found: skipped"
  exit 77
fi

prefix=$(mktemp -d)
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  WINEPREFIX="$prefix" timeout 30 "$WINESERVER" -k >/dev/null 2>&1
  WINEPREFIX="$prefix" timeout 30 "$WINESERVER" -w >/dev/null 2>&1
  rm -rf "$prefix"
}
trap cleanup EXIT INT TERM

# wineboot's own exit status varies with what the prefix lacks (no 32-bit part here); the prefix
# is usable once its system folder exists.
timeout 180 "$WINE" wineboot -i >/dev/null 2>&1
# Let the first boot's services settle and the prefix shut down before the test starts it again.
timeout 60 "$WINESERVER" -w >/dev/null 2>&1
if [ ! -d "$prefix/drive_c/windows/system32" ]; then
  echo "FAIL wine prefix could not be created"
  exit 1
fi
timeout 120 "$WINE" "$program" "$image"
rc=$?
if [ $rc -eq 124 ]; then
  echo "FAIL the driver test timed out"
  exit 1
fi
exit $rc
