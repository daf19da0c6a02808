#!/usr/bin/env bash
# The Windows batch command, run under Wine on a copy of every calendar
# fixture, must leave each exactly as the Linux build leaves it (every table
# compared), written so that our check, mdbtools and the independent index
# checker accept it, and a second run must add nothing. These readers are
# Linux programs, which Windows tests cannot wait for, so this runs here:
#   scripts/verify-windows.sh [BUILD]   (the Windows build, default build-windows;
#                                        the Linux programs come from build/)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-windows}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
linux="$root/build/bin"
shared="$root/../shared"
[ -x "$linux/jetdb" ] || { echo "verify-windows.sh: build the Linux programs first (scripts/build.sh)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL $*" >&2; failures=$((failures + 1)); }
export_all() {  # FILE -> every table, as jsonl
  for table in Dates Events EventDates; do
    "$linux/jetdb" export "$1" "$table"
  done
}
# The designed calendar's Created column defaults to Now(): the two runs
# set it to their own times, so it is compared as "set", not by its value (a
# Null stays visible).
same_tables() {  # FILE FILE
  cmp -s <(export_all "$1" | sed -E 's/"Created":"[^"]*"/"Created":"set"/g') \
    <(export_all "$2" | sed -E 's/"Created":"[^"]*"/"Created":"set"/g')
}

for fixture in "$shared"/fixtures/tessdata-*.mdb; do
  name="$(basename "$fixture" .mdb)"
  cp "$fixture" "$work/$name-linux.mdb"
  cp "$fixture" "$work/$name-windows.mdb"
  chmod u+w "$work/$name-linux.mdb" "$work/$name-windows.mdb"
  "$linux/tessaly-update-cli" "$work/$name-linux.mdb" >/dev/null
  if ! "$build/wine-run.sh" "$build/bin/tessaly-update-cli.exe" "$work/$name-windows.mdb" >/dev/null; then
    fail "$name: the Windows batch command failed"
    continue
  fi
  [ -e "$work/$name-windows.mdb-wal" ] && fail "$name: the Windows run left its log"
  if ! same_tables "$work/$name-linux.mdb" "$work/$name-windows.mdb"; then
    fail "$name: the tables differ from the Linux build's"
  fi
  "$linux/jetdb" check "$work/$name-windows.mdb" >/dev/null || fail "$name: jetdb check"
  for table in Dates Events EventDates; do
    mdb-json "$work/$name-windows.mdb" "$table" >/dev/null || fail "$name: mdb-json $table"
  done
  if command -v java >/dev/null; then
    "$shared/oracle/jetcheck" "$work/$name-windows.mdb" | grep -q "CHECK OK" || fail "$name: jetcheck"
  fi
  before="$(export_all "$work/$name-windows.mdb")"
  "$build/wine-run.sh" "$build/bin/tessaly-update-cli.exe" "$work/$name-windows.mdb" >/dev/null ||
    fail "$name: the second Windows run failed"
  [ "$before" = "$(export_all "$work/$name-windows.mdb")" ] || fail "$name: a second run changed the tables"
  echo "ok $name"
done
[ "$failures" -eq 0 ] || { echo "verify-windows.sh: $failures failures" >&2; exit 1; }
echo "verify-windows.sh: every calendar fixture updated alike on Windows and Linux"
