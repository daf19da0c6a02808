#!/usr/bin/env bash
# Screenshots of the window on a virtual X display: the ready page, the
# not-found page and the Finish page (after a real run on a copy of
# tessdata-2009.mdb) as PNGs in BUILD/screenshots/.
#   scripts/screenshots.sh [BUILD]     (BUILD defaults to build)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
out="$build/screenshots"

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DTESSALY_BUILD_BENCH=OFF
fi
cmake --build "$build" --target tessaly-window-shots

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$root/../shared/fixtures/tessdata-2009.mdb" "$work/tessdata.mdb"
mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work/runtime}"
mkdir -p "$out"
# No window manager under Xvfb: the pictures are the client area.
xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/bin/tessaly-window-shots" "$out" "$work/tessdata.mdb"
ls -l "$out"/*.png
