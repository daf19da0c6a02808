#!/usr/bin/env bash
# The 64-bit Windows installer under Wine's 64-bit loader, in a fresh prefix
# of its own: "/S" installs an older version (the same programs, built with
# an older version number), then this one over it; the three programs land
# under Program Files\Tessaly Calendar Update with a Start-menu entry and an
# uninstall entry whose values are checked; neither setup nor uninstaller
# runs while one of the programs does; the installed batch command runs and
# writes an error.log; "/S" to the uninstaller then leaves nothing behind.
#   scripts/test-installer.sh [BUILD]   (BUILD defaults to build-windows)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-windows}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
setup="$(ls "$build"/tessaly-calendar-update-*-setup.exe)"
version="$(basename "$setup" | sed 's/^tessaly-calendar-update-\(.*\)-setup\.exe$/\1/')"
export WINEPREFIX="$build/installer-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine64=/usr/lib/wine/wine64
wineserver="$(dirname "$wine64")/wineserver"
folder="$WINEPREFIX/drive_c/Program Files/Tessaly Calendar Update"
link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tessaly Calendar Update.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TessalyCalendarUpdate'
work="$(mktemp -d)"
"$wineserver" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$work"' EXIT
failures=0
check() { if eval "$2"; then echo "ok $1"; else echo "FAIL $1" >&2; failures=$((failures + 1)); fi; }
# The value of NAME in the uninstall entry, as `reg query` shows it.
value() { "$wine64" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {$1 = $2 = ""; sub(/^ +/, ""); print}'; }

# The older version: the same programs under an older number.
makensis -V1 -DBIN="$build/bin" -DOUTFILE="$work/old-setup.exe" -DVERSION=1.00.0010 \
  -DFILEVERSION=1.0.0.10 "$root/installer/tessaly-update.nsi"
"$wine64" wineboot -i >/dev/null 2>&1
"$wine64" "$work/old-setup.exe" /S
"$wineserver" -w
check "the older version is installed" '[ "$(value DisplayVersion)" = 1.00.0010 ]'

status=0
"$wine64" "$setup" /S || status=$?
"$wineserver" -w
check "the upgrade succeeds" '[ "$status" -eq 0 ]'
for program in tessaly-update.exe tessaly-update-cli.exe jetdb.exe; do
  check "installed $program of this build" 'cmp -s "$folder/$program" "$build/bin/$program"'
done
check "uninstaller" '[ -f "$folder/uninstall.exe" ]'
check "Start-menu entry" '[ -f "$link" ]'
check "the installed batch command runs" \
  '"$wine64" "$folder/tessaly-update-cli.exe" --version | grep -q "tessaly-update-cli $version"'
declare -A expected=(
  [DisplayName]="Tessaly Calendar Update" [DisplayVersion]="$version" [Publisher]="Tessaly"
  [DisplayIcon]='C:\Program Files\Tessaly Calendar Update\tessaly-update.exe'
  [InstallLocation]='C:\Program Files\Tessaly Calendar Update'
  [UninstallString]='"C:\Program Files\Tessaly Calendar Update\uninstall.exe"'
  [QuietUninstallString]='"C:\Program Files\Tessaly Calendar Update\uninstall.exe" /S'
  [NoModify]=0x1 [NoRepair]=0x1)
for name in "${!expected[@]}"; do
  check "uninstall entry $name" '[ "$(value "$name")" = "${expected[$name]}" ]'
done
size_kb=$(( $(value EstimatedSize) ))
actual_kb=$(( $(du -skL "$folder" | cut -f1) ))
check "uninstall entry EstimatedSize ($size_kb KB, on disk $actual_kb KB)" \
  '[ "$size_kb" -gt 1000 ] && [ "$size_kb" -le $((actual_kb + 64)) ]'

# While a program runs (jetdb waiting for its input), setup and uninstaller
# refuse with exit status 3 and change nothing.
mkfifo "$work/input"
"$wine64" "$folder/jetdb.exe" import 'C:\nowhere.mdb' Dates <"$work/input" >/dev/null 2>&1 &
running=$!
exec 3>"$work/input"
sleep 3
status=0
"$wine64" "$setup" /S || status=$?
check "setup refuses while a program runs" '[ "$status" -eq 3 ]'
# The uninstaller hands over to a copy of itself at once, so its refusal
# shows in what it leaves alone.
"$wine64" "$folder/uninstall.exe" /S
sleep 5
check "the uninstaller refuses while a program runs" \
  '[ -f "$folder/tessaly-update.exe" ] && [ -f "$folder/uninstall.exe" ] &&
   "$wine64" reg query "$key" >/dev/null 2>&1'
exec 3>&-
wait "$running" || true
"$wineserver" -w

# A failure of the installed batch command is logged beside it.
"$wine64" "$folder/tessaly-update-cli.exe" 'C:\missing.mdb' >/dev/null 2>&1 || true
check "the installed batch command wrote error.log" '[ -f "$folder/error.log" ]'

"$wine64" "$folder/uninstall.exe" /S
"$wineserver" -w
sleep 1  # the uninstaller finishes from a copy of itself
"$wineserver" -w
check "nothing left in Program Files" '[ ! -e "$folder" ]'
check "Start-menu entry removed" '[ ! -e "$link" ]'
check "uninstall entry removed" '! "$wine64" reg query "$key" >/dev/null 2>&1'
[ "$failures" -eq 0 ] || { echo "test-installer.sh: $failures failures" >&2; exit 1; }
echo "test-installer.sh: installed, upgraded and removed"
