#!/bin/sh
# Installs what the build needs on Debian 12 (run as root); packages already present are skipped.
set -eu
# mingw-w64 cross-compiles the Windows program; 64-bit Wine runs its tests (never the i386
# architecture: these machines run no 32-bit programs).
packages="cmake ninja-build g++ make libgtest-dev libgmock-dev googletest libbenchmark-dev libstb-dev
mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64"
missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing
fi
