#!/usr/bin/env bash
# Installs what is missing, builds, and runs the update.
#
#   scripts/run.sh                  on the demo calendar: made empty under
#                                   build/demo (a Wine prefix's layout) when it
#                                   is not there; the window when there is a
#                                   display and it is built, else the batch
#                                   update followed by the table row counts
#   scripts/run.sh DATABASE.mdb...  the batch update on those calendars
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/build.sh programs
if [ $# -gt 0 ]; then
  exec build/bin/tessaly-update-cli "$@"
fi

calendar="build/demo/drive_c/Program Files/Tessaly Desktop Calendar/tessdata.mdb"
if [ ! -e "$calendar" ]; then
  mkdir -p "$(dirname "$calendar")"
  build/bin/tessaly-update-cli --new-calendar "$calendar"
fi

if { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ -x build/bin/tessaly-update ]; then
  echo "Starting the window on the demo calendar (WINEPREFIX=build/demo)"
  WINEPREFIX="$PWD/build/demo" exec build/bin/tessaly-update
fi

status=0
build/bin/tessaly-update-cli "$calendar" || status=$?
echo
echo "The demo calendar now holds:"
build/bin/jetdb schema "$calendar" | awk '/^Table /{t=$2} /^  Rows: /{printf "  %-11s %6d rows\n", t, $2}'
echo "To see them: build/bin/jetdb export \"$calendar\" Dates   (or Events, EventDates)"
exit "$status"
