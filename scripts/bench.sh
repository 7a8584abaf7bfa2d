#!/bin/sh
# Builds the optimised benchmarks and prints their figures (time and control calls per operation).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release --target korzem_bench
build/release/bench/korzem_bench --benchmark_counters_tabular=true "$@"
