#!/bin/sh
# Builds KorZem and runs it on the built-in simulated board.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release --target zemctl
board="${KORZEM_BOARD:-p35-core2}"
zemctl=build/release/tools/zemctl/zemctl
echo "== Boards"
"$zemctl" boards
echo "== What the program learns about sim:$board"
"$zemctl" --machine "sim:$board" info
echo "== PCI functions of sim:$board"
"$zemctl" --machine "sim:$board" lspci
echo "== PCI Express configuration base"
"$zemctl" --machine "sim:$board" pcie-base
echo "== A register script: read the CMOS status register B and the first MSR"
"$zemctl" --machine "sim:$board" script "O 70H 0BH; I 71H" "RDMSR 17H"
echo "== Hardware monitor"
"$zemctl" --machine "sim:$board" hwm
echo "== Load-line pin of the Super I/O, driven high (the board keeps it in a state file)"
state=$(mktemp)
rm -f "$state"
"$zemctl" --machine "sim:$board" --sim-state "$state" gpio apply W627GPIO GPIO24=High
"$zemctl" --machine "sim:$board" --sim-state "$state" gpio dump W627GPIO | grep '^GPIO2'
rm -f "$state"
