#!/bin/sh
# How close the program's estimate comes to the simulated PC's truth. For every supported board
# and processor load it switches energy saving on and reads the estimate, then switches it off
# again (the program's own off state) and reads it once more, all through zemctl, and sets the
# estimate beside the simulated regulator's own figures:
#
#   board load zem | Wzem Wsaving phases | Watts TrueSaving phases | errors
#
# Watts is the processor's power, TrueSaving the regulator's input power with energy saving off
# minus that with it on at the same load (so it holds what the off power scheme costs as well as
# what the regulator's load line and phase shedding save), phases the regulator's active phases.
#
#   scripts/fidelity.sh [--check] [--raw] [--zemctl PATH] [--dir DIR] [--loads "0 10 ..."]
#                       [BOARD ...]
#
# --check judges every row against the targets and exits 1 when one misses:
#   - Wzem within 5 % of Watts;
#   - Wsaving never negative and never above half of Wzem;
#   - with energy saving on, where the board's switching works: Wsaving within 1 W or 35 % of
#     TrueSaving, whichever is larger;
#   - phases equal to the regulator's, for control types that compute a phase count (1, 2, 5, 6).
# --raw prints the measurements only, one line per board, load and state, for scripts/fit-model.sh.
# --dir takes the model files from DIR (default: the data folder beside zemctl). Without boards
# it measures every board that has a model file.
set -eu
cd "$(dirname "$0")/.."

zemctl=build/debug/tools/zemctl/zemctl
dir=
check=0
raw=0
loads="0 10 25 50 75 100"
while [ $# -gt 0 ]; do
  case $1 in
    --check) check=1 ;;
    --raw) raw=1 ;;
    --zemctl) zemctl=$2; shift ;;
    --dir) dir=$2; shift ;;
    --loads) loads=$2; shift ;;
    -*) echo "fidelity.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
boards=${*:-p35-core2 p45-core2 x58-nehalem tr900-phenom am2-k8 am2p-phenom}
[ -x "$zemctl" ] || { echo "fidelity.sh: no zemctl at $zemctl (build it first)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# zemctl on one board's simulated PC, kept in a state file for the whole sweep.
z() {
  board=$1; shift
  if [ -n "$dir" ]; then
    "$zemctl" --machine "sim:$board" --sim-state "$work/$board.state" --dir "$dir" "$@"
  else
    "$zemctl" --machine "sim:$board" --sim-state "$work/$board.state" "$@"
  fi
}

# The control type of the board's model file (KorZem.ini's [SupportModel], else Cfg.ini): the
# phase count is judged only where the type computes one.
control_type() {
  data=${dir:-$(dirname "$zemctl")}
  model=$(awk -F= -v name="$(board_name "$1")" '
    /^\[/ { s = $0; next }
    s == "[SupportModel]" && tolower($1) == tolower(name) { print $2; exit }' \
    "$(dirname "$zemctl")/KorZem.ini" | tr -d '\r')
  [ -n "$model" ] || model=Cfg.ini
  awk -F= '/^\[/ { s = $0 } s == "[ZemControl]" && $1 == "ControlType" { print $2; exit }' \
    "$data/$model" | tr -d '\r'
}

# The board's model name, as SMBIOS gives it to the program.
board_name() {
  awk -F= '/^\[/ { s = $0; next } s == "[SMBIOS]" && $1 == "BoardProduct" { print $2; exit }' \
    "$(dirname "$zemctl")/boards/$1.ini" | tr -d '\r'
}

# One estimate: the last tick's line and the regulator's, as one line of name=value words.
measure() {
  z "$1" --load "$2" estimate --ticks 2 --truth | tail -n 2 | tr '\n' ' '
  echo
}

for board in $boards; do
  rm -f "$work/$board.state"
  switching=$(z "$board" on 2>/dev/null | sed -n 's/^ZEM: //p')
  for load in $loads; do
    echo "$board $load on $switching $(measure "$board" "$load")"
  done >"$work/$board.on"
  z "$board" off >/dev/null
  for load in $loads; do
    echo "$board $load off $switching $(measure "$board" "$load")"
  done >"$work/$board.off"
  echo "$board $(control_type "$board")" >>"$work/types"
  cat "$work/$board.on" "$work/$board.off" >>"$work/raw"
done

if [ "$raw" = 1 ]; then
  cat "$work/raw"
  exit 0
fi

awk -v check="$check" '
  FNR == NR { type[$1] = $2; next }
  {
    for (i = 5; i <= NF; i++) {
      split($i, kv, "=")
      if (kv[1] == "phases" && seen["phases"]) v["simphases"] = kv[2]
      else v[kv[1]] = kv[2]
      seen[kv[1]] = 1
    }
    key = $1 " " $2
    row[key " " $3] = sprintf("%s %s %s", v["Wzem"], v["Wsaving"], v["phases"]) " " \
      sprintf("%s %s", v["Watts"], v["simphases"])
    input[key " " $3] = v["InputWatts"]
    works[$1] = ($4 == "on")
    if (!(key in order)) { order[key] = ++n; keys[n] = key }
    delete seen
  }
  function abs(x) { return x < 0 ? -x : x }
  END {
    printf "%-13s %4s %-3s | %7s %7s %2s | %7s %7s %2s | %7s %7s %s\n", "board", "load", "zem",
      "Wzem", "Wsaving", "ph", "Watts", "TrueSav", "ph", "Wzem%", "SavErr", "verdict"
    failed = 0
    for (i = 1; i <= n; i++) {
      split(keys[i], k, " ")
      truth = input[keys[i] " off"] - input[keys[i] " on"]
      for (s = 1; s <= 2; s++) {
        state = s == 1 ? "off" : "on"
        split(row[keys[i] " " state], r, " ")
        wzem = r[1]; wsav = r[2]; ph = r[3]; watts = r[4]; simph = r[5]
        t = state == "on" ? truth : 0
        werr = watts > 0 ? 100 * (wzem - watts) / watts : 0
        serr = wsav - t
        why = ""
        if (abs(werr) > 5) why = why " Wzem"
        if (wsav < 0 || wsav > wzem / 2) why = why " Wsaving-bounds"
        if (state == "on" && works[k[1]]) {
          limit = 0.35 * abs(t); if (limit < 1) limit = 1
          if (abs(serr) > limit) why = why " Wsaving"
        }
        ct = type[k[1]]
        if ((ct == 1 || ct == 2 || ct == 5 || ct == 6) && ph != simph) why = why " phases"
        if (why != "") failed++
        printf "%-13s %4d %-3s | %7.2f %7.2f %2d | %7.2f %7.2f %2d | %6.1f%% %7.2f %s\n", k[1],
          k[2], state, wzem, wsav, ph, watts, t, simph, werr, serr, why == "" ? "ok" : "MISS" why
      }
    }
    if (check) {
      printf "%d of %d rows miss a target\n", failed, 2 * n
      exit failed > 0 ? 1 : 0
    }
  }' "$work/types" "$work/raw"
