#!/bin/sh
# Fits a board's model-file coefficients to its simulated regulator: sweeps the processor load
# with energy saving on and off through zemctl (scripts/fidelity.sh --raw), then solves, by least
# squares, for the coefficients of the control type the model file uses, so that the estimate's
# current times the monitor's Vcore is the processor's power, the saving is what the regulator's
# input power drops by, and the phase count follows the regulator's.
#
#   scripts/fit-model.sh [--write] [--zemctl PATH] BOARD...
#
# It prints the fitted keys of [ZemControl]; --write puts them into the board's model file in
# data/ (KorZem.ini's [SupportModel], else Cfg.ini) under a comment that says so. What each
# control type can follow:
#   1  Izem = g (1 - C2 g) + Aidle with g = (VImon - VIidle) C1: fitted (VIidle is the lowest
#      current-monitor voltage of the sweep). Its saving is a fixed 1.5 W and its phase count
#      2 or 4: nothing to fit.
#   2  Izem = (VImon + Offset) / Div, on and off; Wsaving = W Vcore Izem + DW Izem^2 (DeltaV =
#      Izem) with W and DW per phase count; Phase1_Izem and Phase4_Izem where the regulator sheds.
#   4  Izem = (Vid - Vcore) / divisor for each branch (top P-state or not, on or off); Wsaving =
#      Wzem x C13, one fixed fraction of the power.
#   6  Izem = (VImon - C6) / C7 off and (VImon - C1) / C2 on (one segment); Wsaving = Izem (C8
#      Izem + C9); phase thresholds C11 = C12 = C13 on VImon.
# A saving larger than half the estimated power anywhere is scaled down to that bound.
set -eu
cd "$(dirname "$0")/.."

zemctl=build/debug/tools/zemctl/zemctl
write=0
while [ $# -gt 0 ]; do
  case $1 in
    --write) write=1 ;;
    --zemctl) zemctl=$2; shift ;;
    -*) echo "fit-model.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
[ $# -gt 0 ] || { echo "usage: fit-model.sh [--write] [--zemctl PATH] BOARD..." >&2; exit 2; }
data=$(dirname "$zemctl")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

model_of() {
  name=$(awk -F= '/^\[/ { s = $0; next } s == "[SMBIOS]" && $1 == "BoardProduct" { print $2; exit }' \
    "data/boards/$1.ini")
  model=$(awk -F= -v name="$name" '/^\[/ { s = $0; next }
    s == "[SupportModel]" && tolower($1) == tolower(name) { print $2; exit }' data/KorZem.ini)
  echo "${model:-Cfg.ini}"
}

key_of() {  # key_of FILE KEY
  awk -F= -v key="$2" '/^\[/ { s = $0 } s == "[ZemControl]" && $1 == key { print $2; exit }' "$1"
}

# Sets keys (lines KEY=VALUE on standard input) in [ZemControl] of a model file, with a comment.
write_keys() {
  file=$1 board=$2
  awk -v board="$board" '
    FNR == NR { split($0, kv, "="); value[kv[1]] = kv[2]; order[++n] = kv[1]; next }
    /^\[/ { if (inside) flush(); inside = ($0 == "[ZemControl]") ; print
            if (inside) print "; Coefficients fitted by scripts/fit-model.sh to the simulated " \
              "board " board " (data/boards)."
            next }
    inside && /^; Coefficients fitted by scripts\/fit-model.sh/ { next }
    inside && index($0, "=") { split($0, kv, "="); if (kv[1] in value) { print kv[1] "=" value[kv[1]];
            done[kv[1]] = 1; next } }
    { print }
    function flush(  i) { for (i = 1; i <= n; i++) if (!(order[i] in done)) print order[i] "=" value[order[i]]
                          inside = 0 }
    END { if (inside) flush() }' - "$file" >"$work/model" && cp "$work/model" "$file"
}

for board in "$@"; do
  model=$(model_of "$board")
  type=$(key_of "data/$model" ControlType | tr -d '\r')
  # Type 4 is probed with unit divisors (the top P-state's branch negative) so that the
  # estimate's current is the raw Vid - Vcore.
  probe=
  if [ "$type" = 4 ] || [ "$type" = 10 ]; then
    probe=$work/probe
    mkdir -p "$probe"
    cp -r "$data"/*.ini "$data"/*.pow "$data"/boards "$probe"/
    printf 'ControlType=4\nConstant1=1\nConstant2=-1\nConstant3=1\nConstant4=-1\nConstant5=1\nConstant6=-1\nConstant7=1\nConstant8=-1\n' |
      write_keys "$probe/$model" "$board"
  fi
  if [ -n "$probe" ]; then
    ./scripts/fidelity.sh --raw --zemctl "$zemctl" --dir "$probe" "$board" >"$work/raw"
  else
    ./scripts/fidelity.sh --raw --zemctl "$zemctl" "$board" >"$work/raw"
  fi
  phases=$(awk -F= '/^\[/ { s = $0 } s == "[VRM]" && $1 == "Phases" { print $2; exit }' "data/boards/$board.ini")
  awk -v type="$type" -v full="$phases" -f - "$work/raw" >"$work/keys" <<'AWK'
    # Least squares with up to three regressors: fit(n) solves the normal equations collected by
    # add(y, x1, x2, x3) into b[1..n].
    function add(y, x1, x2, x3,  i, j) {
      x[1] = x1; x[2] = x2; x[3] = x3
      for (i = 1; i <= 3; i++) { xy[i] += x[i] * y; for (j = 1; j <= 3; j++) xx[i, j] += x[i] * x[j] }
      count++
    }
    function clear(  i, j) { for (i = 1; i <= 3; i++) { xy[i] = 0; b[i] = 0; for (j = 1; j <= 3; j++) xx[i, j] = 0 } count = 0 }
    function fit(n,  i, j, k, f, m, a) {
      for (i = 1; i <= n; i++) { for (j = 1; j <= n; j++) m[i, j] = xx[i, j] + (i == j ? 1e-9 : 0); a[i] = xy[i] }
      for (i = 1; i <= n; i++) for (k = i + 1; k <= n; k++) {
        f = m[k, i] / m[i, i]; for (j = i; j <= n; j++) m[k, j] -= f * m[i, j]; a[k] -= f * a[i] }
      for (i = n; i >= 1; i--) { b[i] = a[i]; for (j = i + 1; j <= n; j++) b[i] -= m[i, j] * b[j]; b[i] /= m[i, i] }
    }
    function g(x) { return sprintf("%.6g", x) }
    {
      n++
      state[n] = $3; works = ($4 == "on"); sim = 0
      for (i = 5; i <= NF; i++) {
        if ($i == "sim") { sim = 1; continue }
        split($i, kv, "="); v[n, (sim ? "sim" : "") kv[1]] = kv[2]
      }
      load[n] = $2
      target[n] = v[n, "simWatts"] / v[n, "Vcore"]  # the current that makes Vcore x Izem right
    }
    END {
      # True saving at each load: input power off minus on.
      for (i = 1; i <= n; i++) if (state[i] == "off") offIn[load[i]] = v[i, "simInputWatts"]
      for (i = 1; i <= n; i++) saving[i] = state[i] == "on" ? offIn[load[i]] - v[i, "simInputWatts"] : 0
      if (type == 1 || type == 5) {
        idle = 1e9
        for (i = 1; i <= n; i++) if (v[i, "VImon"] < idle) idle = v[i, "VImon"]
        clear()
        for (i = 1; i <= n; i++) { d = v[i, "VImon"] - idle; add(target[i], 1, d, d * d) }
        fit(3)
        print "VIidle=" g(idle); print "Aidle=" g(b[1]); print "Constant1=" g(b[2])
        print "Constant2=" g(b[2] != 0 ? -b[3] / (b[2] * b[2]) : 0)
      } else if (type == 2) {
        for (s = 1; s <= 2; s++) {
          st = s == 1 ? "off" : "on"; key = s == 1 ? "Off" : "On"
          clear(); for (i = 1; i <= n; i++) if (state[i] == st) add(target[i], v[i, "VImon"], 1, 0)
          fit(2)
          for (p = 10; p <= 11; p++) {
            print "VR" p "_VImon_" key "=1"; print "VR" p "_Vcore_" key "=0"; print "VR" p "_Vid_" key "=0"
            print "VR" p "_Offset_" key "=" g(b[2] / b[1]); print "VR" p "_Div_" key "=" g(1 / b[1])
            print "VR" p "_W_" key "=1"; print "VR" p "_W_Offset_" key "=0"; print "VR" p "_Wmin_" key "=0"
          }
          if (st == "on") { a = b[1]; c = b[2] }
        }
        # Where the regulator sheds phases, by the estimated current; which phase count it sheds to.
        shedMax = -1; fullMin = 1e9; shedTo = full
        for (i = 1; i <= n; i++) if (state[i] == "on") {
          iz = a * v[i, "VImon"] + c; est[i] = iz
          if (v[i, "simphases"] < full) { if (iz > shedMax) shedMax = iz; shedTo = v[i, "simphases"] }
          else if (iz < fullMin) fullMin = iz
        }
        threshold = shedMax < 0 ? 0 : (fullMin < 1e9 ? (shedMax + fullMin) / 2 : shedMax + 1)
        print "Phase1_Izem=" g(shedTo == 1 ? threshold : 0); print "Phase4_Izem=" g(threshold)
        for (p = 10; p <= 11; p++) { print "VR" p "_Vid_DeltaV=0"; print "VR" p "_IOn_DeltaV=1"
          print "VR" p "_Offset_DeltaV=0"; print "VR" p "_Wsaving_Min=0" }
        for (grp = 1; grp <= 2; grp++) {
          clear()
          for (i = 1; i <= n; i++) if (state[i] == "on" && works && ((grp == 1) == (v[i, "simphases"] < full)))
            add(saving[i], v[i, "Vcore"] * est[i], est[i] * est[i], 0)
          if (count > 0) fit(2)
          # Keep the saving within half the power: W Vcore I + DW I^2 <= Vcore I / 2.
          scale = 1
          for (i = 1; i <= n; i++) if (state[i] == "on" && ((grp == 1) == (v[i, "simphases"] < full))) {
            w = b[1] * v[i, "Vcore"] * est[i] + b[2] * est[i] * est[i]; half = v[i, "Vcore"] * est[i] / 2
            if (w > half && half > 0 && w / half > scale) scale = w / half
          }
          wk[grp] = b[1] / scale; dk[grp] = b[2] / scale
        }
        for (p = 10; p <= 11; p++) {
          print "VR" p "_W_P1_Wsaving=" g(wk[1]); print "VR" p "_DeltaW_P1_Wsaving=" g(dk[1])
          print "VR" p "_W_P2_Wsaving=" g(wk[1]); print "VR" p "_DeltaW_P2_Wsaving=" g(dk[1])
          print "VR" p "_W_P4_Wsaving=" g(wk[2]); print "VR" p "_DeltaW_P4_Wsaving=" g(dk[2])
        }
      } else if (type == 4 || type == 10) {
        # Probe: |Izem| = Vid - Vcore, negative on the top P-state's branch. Divisors by branch:
        # off C1 (below the top VID) and C2 (at it), on C5 and C6; VR10 boards use C3/C4 and C7/C8.
        for (i = 1; i <= n; i++) {
          d = v[i, "Izem"]; top = d < 0; if (top) d = -d
          k = (state[i] == "on" ? 4 : 0) + (top ? 2 : 1)
          dd[k] += d * target[i]; ii[k] += target[i] * target[i]
        }
        for (k = 1; k <= 8; k++) {
          src = k; if (k == 3 || k == 4) src = k - 2; if (k == 7 || k == 8) src = k - 2
          if (ii[src] > 0) print "Constant" k "=" g(dd[src] / ii[src])
        }
        # C13: the one fraction of the power that is saved, capped at half.
        sw = 0; ww = 0
        for (i = 1; i <= n; i++) if (state[i] == "on" && works) { sw += saving[i] * v[i, "simWatts"]; ww += v[i, "simWatts"] ^ 2 }
        f = ww > 0 ? sw / ww : 0; if (f < 0) f = 0; if (f > 0.5) f = 0.5
        print "Constant13=" g(f)
      } else if (type == 6) {
        for (s = 1; s <= 2; s++) {
          st = s == 1 ? "off" : "on"
          clear(); for (i = 1; i <= n; i++) if (state[i] == st) add(v[i, "VImon"], 1, target[i], 0)
          fit(2)
          if (st == "off") { print "Constant6=" g(b[1]); print "Constant7=" g(b[2]); print "Constant16=" g(b[1]) }
          else { print "Constant1=" g(b[1]); print "Constant2=" g(b[2]); print "Constant15=" g(b[1])
                 print "Constant3=1000"; print "Constant4=" g(b[1]); print "Constant5=" g(b[2]); a = b[1]; c = b[2] }
        }
        clear(); shedMax = -1; fullMin = 1e9
        for (i = 1; i <= n; i++) if (state[i] == "on") {
          iz = (v[i, "VImon"] - a) / c; est[i] = iz
          if (works) add(saving[i], iz * iz, iz, 0)
          if (v[i, "simphases"] < full) { if (v[i, "VImon"] > shedMax) shedMax = v[i, "VImon"] }
          else if (v[i, "VImon"] < fullMin) fullMin = v[i, "VImon"]
        }
        fit(2)
        scale = 1
        for (i = 1; i <= n; i++) if (state[i] == "on") {
          w = est[i] * (b[1] * est[i] + b[2]); half = v[i, "Vcore"] * est[i] / 2
          if (w > half && half > 0 && w / half > scale) scale = w / half
        }
        print "Constant8=" g(b[1] / scale); print "Constant9=" g(b[2] / scale)
        t = shedMax < 0 ? 0 : (fullMin < 1e9 ? (shedMax + fullMin) / 2 : shedMax + 0.01)
        print "Constant11=" g(t); print "Constant12=" g(t); print "Constant13=" g(t)
      } else {
        print "fit-model.sh: control type " type " is not fitted" > "/dev/stderr"
      }
    }
AWK
  echo "[$board: $model, control type $type]"
  cat "$work/keys"
  [ "$write" = 1 ] && write_keys "data/$model" "$board" <"$work/keys"
done
exit 0
