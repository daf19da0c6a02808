#!/usr/bin/env bash
# Cross-builds the Windows window's tests and runs them under Wine on a
# virtual X display (they drive the real window):
#   scripts/test-windows.sh [BUILD]     (BUILD defaults to build-windows)
# The Wine prefix is BUILD/wineprefix (wine-run.sh), with Wine's own fonts.
# Installs what is missing first (scripts/bootstrap-windows.sh).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-windows}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
"$root/scripts/bootstrap-windows.sh"
tests=(wizard_window_common_test win32_window_test)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTESSALY_BUILD_TESTS=ON -DTESSALY_BUILD_BENCH=OFF >/dev/null
ninja -C "$build" "${tests[@]}"

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
if [ ! -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
  "$build/wine-run.sh" wineboot -i >/dev/null 2>&1
fi
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true

status=0
for test in "${tests[@]}"; do
  xvfb-run -a -s "-screen 0 1024x768x24" "$build/wine-run.sh" "$build/bin/$test.exe" || status=1
done
exit "$status"
