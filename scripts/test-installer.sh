#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix of its own: "/S"
# installs the three programs under Program Files\Tessaly Calendar Update
# with a Start-menu entry for all users and an uninstall entry, the installed
# batch command runs, and "/S" to the uninstaller takes it all away again.
#   scripts/test-installer.sh [BUILD]   (BUILD defaults to build-windows)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-windows}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
setup="$(ls "$build"/tessaly-calendar-update-*-setup.exe)"
export WINEPREFIX="$build/installer-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
wine64=/usr/lib/wine/wine64
folder="$WINEPREFIX/drive_c/Program Files/Tessaly Calendar Update"
link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tessaly Calendar Update.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TessalyCalendarUpdate'
failures=0
check() { if eval "$2"; then echo "ok $1"; else echo "FAIL $1" >&2; failures=$((failures + 1)); fi; }

wine "$setup" /S
wineserver -w
for program in tessaly-update.exe tessaly-update-cli.exe jetdb.exe uninstall.exe; do
  check "installed $program" '[ -f "$folder/$program" ]'
done
check "Start-menu entry" '[ -f "$link" ]'
check "uninstall entry" '"$wine64" reg query "$key" /v UninstallString >/dev/null 2>&1'
check "the installed batch command runs" \
  '"$wine64" "$folder/tessaly-update-cli.exe" --version | grep -q "tessaly-update-cli"'

"$wine64" "$folder/uninstall.exe" /S
wineserver -w
sleep 1  # the uninstaller finishes from a copy of itself
check "programs removed" '[ ! -e "$folder/tessaly-update.exe" ] && [ ! -e "$folder/uninstall.exe" ]'
check "Start-menu entry removed" '[ ! -e "$link" ]'
check "uninstall entry removed" '! "$wine64" reg query "$key" >/dev/null 2>&1'
rm -rf "$WINEPREFIX"
[ "$failures" -eq 0 ] || { echo "test-installer.sh: $failures failures" >&2; exit 1; }
