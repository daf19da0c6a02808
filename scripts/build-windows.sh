#!/usr/bin/env bash
# Cross-builds the Windows programs on Debian with MinGW-w64 into BUILD
# (default build-windows): BUILD/bin/tessaly-update.exe (the window),
# tessaly-update-cli.exe and jetdb.exe, statically linked and stripped (the
# debug information beside each as NAME.exe.debug), and the 64-bit
# installer BUILD/tessaly-calendar-update-VERSION-setup.exe. Tests are built
# too (run them with `ctest --test-dir BUILD`, under Wine);
# TESSALY_WINDOWS_TESTS=OFF leaves them out.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
build="${1:-build-windows}"

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release "${cache_args[@]}" \
  -DTESSALY_BUILD_TESTS="${TESSALY_WINDOWS_TESTS:-ON}" -DTESSALY_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"
echo "Windows programs in $build/bin, installer $(ls "$build"/tessaly-calendar-update-*-setup.exe)"
