#!/usr/bin/env bash
# Configures and builds into ./build (Release-like):
#   scripts/build.sh            everything, tests and benchmarks included
#   scripts/build.sh programs   only the programs (tessaly-update-cli, jetdb,
#                               the window), which need no test libraries
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
if [ "${1:-}" = "programs" ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cache_args[@]}" \
    -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCH=OFF >/dev/null
  cmake --build build --parallel "$(nproc)" --target tessaly-update-cli jetdb tessaly-update
else
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cache_args[@]}" \
    -DTESSALY_BUILD_TESTS=ON -DTESSALY_BUILD_BENCH=ON >/dev/null
  cmake --build build --parallel "$(nproc)"
fi
