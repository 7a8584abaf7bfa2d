#!/bin/sh
# Builds everything and runs every test: the Linux build under AddressSanitizer and
# UndefinedBehaviorSanitizer with its whole suite; the Windows product (the 32-bit KorZem.exe and
# the kernel driver's images, checked statically: these machines refuse 32-bit programs) and the
# x64 driver image loaded and driven under 64-bit Wine.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh

timed() {
  label=$1
  shift
  start=$(date +%s)
  status=0
  "$@" || status=$?
  echo "test.sh: $label took $(($(date +%s) - start)) s"
  return $status
}

failed=0
timed "Linux build" sh -c 'cmake --preset asan && cmake --build --preset asan'
timed "Windows product build" sh -c 'cmake --preset windows && cmake --build --preset windows'

program=build/windows/app/program
./scripts/check-windows-exe.sh "$program/KorZem.exe" || failed=1
./scripts/check-driver-images.sh "$program/ZemDrv.x86.sys" "$program/ZemDrv.x64.sys" || failed=1
# The driver test must run here: a skip (no Wine) is a failure of the set-up.
timed "Driver under Wine" ./scripts/test-driver-wine.sh "$program/ZemDrv.x64.sys" \
  "$program/zemdrv_wine_test.exe" || failed=1

# Last, so that the run ends with CTest's summary line.
timed "Linux tests" ctest --preset asan -j "$(nproc)" || failed=1
exit $failed
