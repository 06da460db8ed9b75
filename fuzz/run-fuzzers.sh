#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for the given number of
# seconds (default 60), growing a scratch corpus from the committed seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DFUZZ=ON -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz
for target in build-fuzz/bin/fuzz_*; do
  name="${target##*/fuzz_}"
  work="build-fuzz/corpus/$name"
  mkdir -p "$work"
  echo "== $name"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$work" "fuzz/corpus/$name" 2>&1 | tail -n 3
done
