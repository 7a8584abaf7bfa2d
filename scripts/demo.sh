#!/bin/sh
# Builds KorZem and runs the program on the built-in simulated board: first a few zemctl views of
# the energy-saving engine, then korzem itself in this terminal, its simulated processor load
# following this PC's real load. Quit korzem with q.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release --target korzem zemctl korzem_assets
board="${KORZEM_BOARD:-p35-core2}"
bin=build/release
zemctl=$bin/tools/zemctl/zemctl
korzem=$bin/app/program/korzem
state="${XDG_STATE_HOME:-$HOME/.local/state}/korzem/demo-$board"
mkdir -p "$(dirname "$state")"
echo "== What the program learns about sim:$board"
"$zemctl" --machine "sim:$board" --sim-state "$state" info
echo "== Energy saving on; the engine's estimate next to the simulated regulator's own figures"
"$zemctl" --machine "sim:$board" --sim-state "$state" on
"$zemctl" --machine "sim:$board" --sim-state "$state" estimate --ticks 3 --truth
if [ -t 0 ] && [ -t 1 ]; then
  echo "== korzem (keys: space switch, p/t mode, r reset, a autorun, m tray, q quit)"
  sleep 2
  exec "$korzem" --machine "sim:$board" --sim-state "$state" --load host
fi
echo "== No terminal: korzem draws its window into korzem-demo.png instead"
"$korzem" --machine "sim:$board" --sim-state "$state" --load host --snapshot korzem-demo.png --ticks 5
echo "wrote $(pwd)/korzem-demo.png"
