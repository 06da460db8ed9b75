#!/usr/bin/env bash
# Configures and builds the tree into the folder given first; further arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$1"; shift
cmake -S . -B "$dir" -G Ninja -DWARNINGS_AS_ERRORS=ON "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
