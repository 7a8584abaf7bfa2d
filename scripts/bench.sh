#!/bin/sh
# Builds the optimised benchmarks and prints their figures: time and control calls per operation of
# the register-access paths, then the whole program on each simulated board (start-up, processor
# time and driver calls per sampling tick with the window shown or hidden in the tray, resident
# memory after 10 000 ticks).
# Arguments go to the first part (e.g. --benchmark_filter=Ini). KORZEM_BENCH_BUILD=DIR builds in
# DIR instead of the release preset's folder.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup-debian.sh
build=${KORZEM_BENCH_BUILD:-build/release}
if [ "$build" = build/release ]; then
  cmake --preset release >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
targets=korzem_bench
# The window's generated pictures, when this tree draws them; the benchmark falls back to blank ones.
if cmake --build "$build" --target help | grep -q '^korzem_assets:'; then
  targets="$targets korzem_assets"
fi
# shellcheck disable=SC2086
cmake --build "$build" --target $targets
bench=$build/bench/korzem_bench

echo
echo "== Register access, configuration files, scripts"
"$bench" --benchmark_filter=-BM_Program --benchmark_counters_tabular=true "$@"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo
echo "== The program on simulated boards"
"$bench" --benchmark_filter='^BM_Program(Startup|Tick)/' --benchmark_format=json \
  >"$work/program.json" 2>"$work/stderr" || { cat "$work/stderr" >&2; exit 1; }
# Each memory figure comes from a process of its own, so that it is the program's alone.
boards=$("$bench" --benchmark_list_tests --benchmark_filter='^BM_ProgramMemory/' |
  sed 's|^BM_ProgramMemory/||; s|/iterations:.*||')
for board in $boards; do
  "$bench" --benchmark_filter="^BM_ProgramMemory/$board/" --benchmark_format=json \
    >>"$work/program.json" 2>>"$work/stderr" || { cat "$work/stderr" >&2; exit 1; }
done
if [ -s "$work/stderr" ]; then
  echo "Messages the program printed:"
  sort "$work/stderr" | uniq -c
fi

# The JSON reporter writes one key per line: collect them per benchmark, then one table per board.
awk -v boards="$boards" '
  function text(line) {
    sub(/^[^:]*: */, "", line); sub(/,$/, "", line); gsub(/"/, "", line); return line
  }
  /^ *"name": / { name = text($0); sub(/\/iterations:.*/, "", name); next }
  /^ *"[a-z_]+": / && name != "" {
    key = $0; sub(/^ *"/, "", key); sub(/".*/, "", key); v[name, key] = text($0)
  }
  function fig(name, key, format) {
    if (v[name, "error_occurred"] == "true") return "error"
    if (!((name, key) in v)) return "-"
    return sprintf(format, v[name, key])
  }
  function row(label, key, format, b) {
    printf "  %-40s %12s %12s %12s\n", label, fig("BM_ProgramTick/" b "/off", key, format),
      fig("BM_ProgramTick/" b "/on", key, format), fig("BM_ProgramTick/" b "/hidden", key, format)
  }
  END {
    n = split(boards, list, " ")
    for (i = 1; i <= n; ++i) {
      b = list[i]; s = "BM_ProgramStartup/" b; m = "BM_ProgramMemory/" b
      pictures = v[s, "label"] == "png" ? "generated pictures" : "blank pictures"
      printf "\nsim:%s (%s, load 50%%)\n", b, pictures
      names[1] = s; names[2] = "BM_ProgramTick/" b "/off"; names[3] = "BM_ProgramTick/" b "/on"
      names[4] = m; names[5] = "BM_ProgramTick/" b "/hidden"
      for (j = 1; j <= 5; ++j)
        if (v[names[j], "error_occurred"] == "true")
          printf "  %s failed: %s\n", names[j], v[names[j], "error_message"]
      printf "  %-40s %12s   (%s CPU, %s driver calls)\n", "start-up to first sampling tick, ms",
        fig(s, "startup_ms", "%.1f"), fig(s, "startup_cpu_ms", "%.1f"),
        fig(s, "startup_calls", "%.0f")
      printf "  %-40s %12s %12s %12s\n", "per sampling tick, window:", "shown, off", "shown, on",
        "hidden, on"
      row("CPU, us", "cpu_us", "%.1f", b)
      row("CPU without the timed wait, us", "cpu_us_no_wait", "%.1f", b)
      row("CPU inside the timed wait (emulated), us", "wait_cpu_us", "%.1f", b)
      row("timed wait on a real PC, us", "real_wait_us", "%.0f", b)
      row("driver calls", "calls", "%.1f", b)
      printf "  %-40s %12s   (%s after the first tick, %s before start-up)\n",
        "RSS after 10 000 ticks (saving on), MiB", fig(m, "rss_mib", "%.1f"),
        fig(m, "rss_first_tick_mib", "%.1f"), fig(m, "rss_before_mib", "%.1f")
    }
  }' "$work/program.json"
echo
echo "CPU is process time (CLOCK_PROCESS_CPUTIME_ID) per sampling tick: shown, one second of the"
echo "program (the sampling tick and two indicator ticks); hidden in the tray, five seconds and the"
echo "sampling tick alone (nothing is painted, the indicators stop). The timed wait is the driver's clock"
echo "measurement: on a simulated board its busy wait only steps virtual time, so its CPU is the"
echo "processor time spent inside the measuring driver calls; a real PC spins for the interval shown."
