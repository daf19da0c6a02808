#!/usr/bin/env bash
# Cross-builds the Windows programs on Debian with MinGW-w64 into BUILD
# (default build-windows): BUILD/bin/tessaly-update.exe (the window),
# tessaly-update-cli.exe and jetdb.exe, statically linked, and the installer
# BUILD/tessaly-calendar-update-1.00.0011-setup.exe. Tests are built too
# (run them with `ctest --test-dir BUILD`, under Wine); TESSALY_WINDOWS_TESTS=OFF
# leaves them out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
build="${1:-build-windows}"
version="1.00.0011"

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release \
  -DTESSALY_BUILD_TESTS="${TESSALY_WINDOWS_TESTS:-ON}" -DTESSALY_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"

bin="$(cd "$build/bin" && pwd)"
makensis -V2 -DBIN="$bin" -DVERSION="$version" \
  -DOUTFILE="$(cd "$build" && pwd)/tessaly-calendar-update-$version-setup.exe" \
  installer/tessaly-update.nsi
echo "Windows programs in $build/bin, installer $build/tessaly-calendar-update-$version-setup.exe"
