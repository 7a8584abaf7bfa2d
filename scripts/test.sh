#!/bin/sh
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j "$(nproc)"
