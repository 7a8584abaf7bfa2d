#!/bin/sh
# Builds everything and runs every test: the Linux build under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the Windows product (checked statically: it cannot run here,
# these machines refuse 32-bit programs) and the Windows sources built for x86_64 with their tests,
# which run under 64-bit Wine.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh

timed() {
  label=$1
  shift
  start=$(date +%s)
  "$@"
  echo "test.sh: $label took $(($(date +%s) - start)) s"
}

timed "Linux build" sh -c 'cmake --preset asan && cmake --build --preset asan'
timed "Windows product build" sh -c 'cmake --preset windows && cmake --build --preset windows'
./scripts/check-windows-exe.sh build/windows/app/program/KorZem.exe
timed "Windows test build" sh -c 'cmake --preset windows-test && cmake --build --preset windows-test'

status=0
timed "Linux tests" ctest --preset asan -j "$(nproc)" || status=1

# A Wine prefix of this run's own, made once before the tests start in parallel.
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/korzem-wine.XXXXXX")
export WINEPREFIX
trap 'wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64); "$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
./scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1 || true
# Last, so that the run ends with a CTest summary line.
ctest --preset windows-test -j "$(nproc)" || status=1
exit $status
