#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds, and runs every test:
# the full suite, then the engine and networking tests again under the address+undefined
# and thread sanitizers.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

./scripts/build.sh build
(cd build && ctest --output-on-failure -j"$jobs")

./scripts/build.sh build-asan -DSANITIZE=address -DBUILD_BENCHMARKS=OFF
(cd build-asan && ctest --output-on-failure -j"$jobs" -L engine)

./scripts/build.sh build-tsan -DSANITIZE=thread -DBUILD_BENCHMARKS=OFF
(cd build-tsan && ctest --output-on-failure -j"$jobs" -L engine)
