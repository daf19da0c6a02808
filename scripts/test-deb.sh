#!/usr/bin/env bash
# Makes the Debian package of a Linux build (cpack) and checks it: the three
# programs under /usr/bin, the menu entry, the icon and NOTICE, and that the
# unpacked batch command and jetdb run and update a blank calendar.
#   scripts/test-deb.sh [BUILD]     (BUILD defaults to build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
out="$build/package"
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb="$(ls "$out"/tessaly-calendar-update_*.deb)"
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
status=0
for file in usr/bin/tessaly-update usr/bin/tessaly-update-cli usr/bin/jetdb \
            usr/share/applications/tessaly-update.desktop \
            usr/share/icons/hicolor/scalable/apps/tessaly-update.svg \
            usr/share/doc/tessaly-calendar-update/NOTICE; do
  if [ -e "$unpacked/$file" ]; then echo "ok /$file"; else echo "MISSING /$file"; status=1; fi
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || { echo "no Qt dependency"; status=1; }
cp "$root/../shared/fixtures/tessdata-blank.mdb" "$unpacked/cal.mdb"
if "$unpacked/usr/bin/tessaly-update-cli" "$unpacked/cal.mdb" >/dev/null &&
   "$unpacked/usr/bin/jetdb" check "$unpacked/cal.mdb" >/dev/null; then
  echo "ok the packaged programs update and check a calendar"
else
  echo "FAILED the packaged programs on a blank calendar"; status=1
fi
exit "$status"
