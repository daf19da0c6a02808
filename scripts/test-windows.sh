#!/usr/bin/env bash
# Cross-builds the Windows programs, their tests and the installer
# (scripts/build-windows.sh), runs every Windows test under Wine on a virtual
# X display (the window's tests drive the real window), and then checks on
# the Linux side what the Windows programs write (scripts/verify-windows.sh),
# runs the batch command as a user who may not write Program Files
# (scripts/test-virtualstore.sh, as root), installs, upgrades and uninstalls
# with the installer silently (scripts/test-installer.sh),
# and takes the window's screenshots, checking its size (scripts/screenshots-windows.sh):
#   scripts/test-windows.sh [BUILD]     (BUILD defaults to build-windows)
# The Wine prefix is BUILD/wineprefix (wine-run.sh), with Wine's own fonts.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-windows}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
"$root/scripts/bootstrap.sh" --tests
"$root/scripts/build-windows.sh" "$build"

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
mkdir -p "$WINEPREFIX"

# One wineserver for the whole run, started before any Windows program: one
# that quits between two test programs and is started again meanwhile can
# drop a client's connection. (A server that an earlier, interrupted run
# left for this prefix is stopped first: "wineserver -p" refuses to start
# beside a running one.)
wineserver=/usr/lib/wine/wineserver
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT

if [ ! -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
  "$build/wine-run.sh" wineboot -i >/dev/null 2>&1
fi
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
# Wine's own services start with the first program of a prefix and keep its
# output open; started here, they do not hold a test program's pipe (CTest
# would wait for it until its timeout).
"$build/wine-run.sh" wineboot >/dev/null 2>&1

# Under load Wine now and then loses a child process or a client's
# connection ("recvmsg: Connection reset by peer"); a test that failed runs
# once more, so that only a failure that repeats fails the run. Both runs'
# output stays in the log.
status=0
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600 \
  --repeat until-pass:2 || status=1
"$root/scripts/verify-windows.sh" "$build" || status=1
"$root/scripts/test-virtualstore.sh" "$build" || status=1
"$root/scripts/test-installer.sh" "$build" || status=1
"$root/scripts/screenshots-windows.sh" "$build" || status=1
exit "$status"
