#!/usr/bin/env bash
# make bench: the benchmark programs, each printing its figures and a RATIO
# measured in one run. Nothing here passes or fails on a time; compare the
# ratios with their goals. Run on a quiet machine: other work on the same
# cores shows up in every figure.
#   scripts/bench.sh [BUILD]      BENCH_POLL_SECONDS=30 sets the polling stretch,
#                                 BENCH_SOAK_SECONDS=300 the polling through ser2net
#                                 BENCH_WINDOW_SECONDS=60 the bench window's polling
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake --build "$build" --target benchmarks >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
bin="$build/bin"

echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
"$bin/bench_update"
echo
"$bin/bench_programs" --poll-seconds "${BENCH_POLL_SECONDS:-30}"
echo
"$bin/bench_many"
echo
"$bin/bench_keeper"
echo
"$bin/bench_network" --soak-seconds "${BENCH_SOAK_SECONDS:-300}"
if [ -x "$bin/bench_window" ]; then
  echo
  "$bin/bench_window" --poll-seconds "${BENCH_WINDOW_SECONDS:-60}"
fi
echo "# load average afterwards $(cut -d' ' -f1-3 /proc/loadavg)"
