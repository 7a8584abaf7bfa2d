#!/bin/sh
# Installs what the build needs on Debian 12 (run as root); packages already present are skipped.
set -eu
packages="cmake ninja-build g++ make libgtest-dev libgmock-dev googletest libbenchmark-dev libstb-dev"
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
