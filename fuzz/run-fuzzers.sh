#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for the given number of
# seconds (default 60), growing a scratch corpus from the committed seeds. Further arguments
# name the targets to run (default: all). Ends with a summary: runs and executions per second.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DFUZZ=ON -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz
summary=()
for target in build-fuzz/bin/fuzz_*; do
  name="${target##*/fuzz_}"
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then
    continue
  fi
  work="build-fuzz/corpus/$name"
  log="build-fuzz/$name.log"
  mkdir -p "$work"
  echo "== $name"
  # The targets' own log lines (stderr) are closed off; libFuzzer keeps its reports.
  status=0
  "$target" -max_total_time="$seconds" -timeout=10 -artifact_prefix="build-fuzz/$name-" -rss_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1 \
    "$work" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  grep -E '^(Done|SUMMARY|==[0-9]+== ERROR)' "$log" | tail -n 3 || true
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  summary+=("$(printf '%-16s %10s runs %8s exec/s  %s' "$name" "${runs:-?}" "${rate:-?}" \
    "$([ "$status" -eq 0 ] && echo ok || echo "FAILED (see $log)")")")
done
echo
echo "== summary ($seconds s each)"
printf '%s\n' "${summary[@]}"
