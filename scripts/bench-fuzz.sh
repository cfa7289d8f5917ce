#!/usr/bin/env bash
# Executions per second of each fuzzer (native, ASan + UBSan), run for
# FUZZ_BENCH_SECONDS (default 60) from the seeds into a scratch corpus.
# Builds the host preset first.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_BENCH_SECONDS:-60}
cmake --preset host >/dev/null
cmake --build --preset host >/dev/null
for fuzzer in list switches lang; do
  binary=$root/build/host/tests/fuzz/${fuzzer}_fuzzer
  [ -x "$binary" ] || { echo "$fuzzer: not built (no clang++?)"; continue; }
  corpus=$(mktemp -d)
  stats=$("$binary" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 "$corpus" "$root/tests/fuzz/seeds/$fuzzer" 2>&1 | grep '^stat::')
  rm -rf "$corpus"
  runs=$(echo "$stats" | awk '/number_of_executed_units/ {print $2}')
  rate=$(echo "$stats" | awk '/average_exec_per_sec/ {print $2}')
  echo "${fuzzer}_fuzzer: $runs executions in ${seconds} s, $rate per second"
done
