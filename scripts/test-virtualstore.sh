#!/usr/bin/env bash
# The batch command as a parish user without administrator rights runs it,
# under Wine: a Unix account of its own (made here, so this needs root) with
# a Wine prefix of its own, in which the calendar's folder and the program's
# folder under Program Files belong to root and may only be read (Wine maps
# the Unix permissions: writing there is "access denied", as for a user
# without administrator rights on Windows).
#   - The default calendar exists only under Program Files: the run copies it
#     to the user's VirtualStore, whole, and updates the copy exactly as the
#     Linux build updates a copy of the same file (our check, mdbtools and the
#     index checker accept it); the file under Program Files is untouched.
#   - A second run updates the copy again and adds nothing.
#   - A failure is logged in the VirtualStore twin of the program's folder.
#   scripts/test-virtualstore.sh [BUILD]   (BUILD defaults to build-windows;
#                                           the Linux programs come from build/)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-windows}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
linux="$root/build/bin"
fixture="$root/../shared/fixtures/tessdata-2009.mdb"
if [ "$(id -u)" -ne 0 ]; then
  echo "test-virtualstore.sh: skipped, making a user of its own needs root"
  exit 0
fi
[ -x "$linux/jetdb" ] || { echo "test-virtualstore.sh: build the Linux programs first" >&2; exit 1; }

user=tessaly-parish
id "$user" >/dev/null 2>&1 || useradd --create-home --shell /usr/sbin/nologin "$user"
home="$(getent passwd "$user" | cut -d: -f6)"
prefix="$home/wineprefix"
wine64=/usr/lib/wine/wine64
as_user() {
  (cd "$home" && runuser -u "$user" -- env HOME="$home" WINEPREFIX="$prefix" WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=" "$@")
}
cleanup() { as_user "$(dirname "$wine64")/wineserver" -k 2>/dev/null || true; }
trap cleanup EXIT

failures=0
check() { if eval "$2"; then echo "ok $1"; else echo "FAIL $1" >&2; failures=$((failures + 1)); fi; }
export_all() {  # FILE -> every table, as jsonl
  for table in Dates Events EventDates; do "$linux/jetdb" export "$1" "$table"; done
}

rm -rf "$prefix"
as_user "$wine64" wineboot -i >/dev/null 2>&1
as_user "$(dirname "$wine64")/wineserver" -w
drive_c="$prefix/drive_c"
calendar_dir="$drive_c/Program Files/Tessaly Desktop Calendar"
program_dir="$drive_c/Program Files/Tessaly Calendar Update"
store="$drive_c/users/$user/AppData/Local/VirtualStore/Program Files"
mkdir -p "$calendar_dir" "$program_dir"
cp "$fixture" "$calendar_dir/tessdata.mdb"
cp "$build/bin/tessaly-update-cli.exe" "$program_dir/"
chown -R root:root "$calendar_dir" "$program_dir"
chmod 755 "$calendar_dir" "$program_dir"
chmod 644 "$calendar_dir/tessdata.mdb" "$program_dir/tessaly-update-cli.exe"
check "the user may not write the calendar's folder" \
  '! runuser -u "$user" -- test -w "$calendar_dir/tessdata.mdb"'

cli='C:\Program Files\Tessaly Calendar Update\tessaly-update-cli.exe'
calendar='C:\Program Files\Tessaly Desktop Calendar\tessdata.mdb'
work="$(mktemp -d)"
chmod 755 "$work"
trap 'cleanup; rm -rf "$work"' EXIT
cp "$fixture" "$work/linux.mdb"
chmod u+w "$work/linux.mdb"
"$linux/tessaly-update-cli" "$work/linux.mdb" >/dev/null

status=0
as_user "$wine64" "$cli" "$calendar" >"$work/first.out" 2>&1 || status=$?
cat "$work/first.out"
check "the first run succeeds" '[ "$status" -eq 0 ]'
check "it says it copied the calendar to the VirtualStore" \
  'grep -q "copied to your VirtualStore" "$work/first.out"'
check "the file under Program Files is untouched" 'cmp -s "$fixture" "$calendar_dir/tessdata.mdb"'
copy="$store/Tessaly Desktop Calendar/tessdata.mdb"
check "the copy is there, without a log or a temporary file beside it" \
  '[ "$(ls "$store/Tessaly Desktop Calendar")" = tessdata.mdb ]'
check "the copy holds what the Linux build writes" \
  'cmp -s <(export_all "$copy") <(export_all "$work/linux.mdb")'
check "jetdb check accepts the copy" '"$linux/jetdb" check "$copy" >/dev/null'
for table in Dates Events EventDates; do
  check "mdb-json reads $table" 'mdb-json "$copy" "$table" >/dev/null'
done
if command -v java >/dev/null; then
  check "the index checker accepts the copy" \
    '"$root/../shared/oracle/jetcheck" "$copy" | grep -q "CHECK OK"'
fi

before="$(export_all "$copy")"
status=0
as_user "$wine64" "$cli" "$calendar" >"$work/second.out" 2>&1 || status=$?
cat "$work/second.out"
check "the second run succeeds on the copy" \
  '[ "$status" -eq 0 ] && grep -q "reads your VirtualStore copy" "$work/second.out"'
check "the second run adds nothing" '[ "$before" = "$(export_all "$copy")" ]'
check "the file under Program Files is still untouched" \
  'cmp -s "$fixture" "$calendar_dir/tessdata.mdb"'

as_user "$wine64" "$cli" 'C:\Program Files\Tessaly Desktop Calendar\missing.mdb' \
  >/dev/null 2>&1 || true
log="$store/Tessaly Calendar Update/error.log"
check "a failure is logged in the VirtualStore twin of the program's folder" \
  'grep -q "Could not find file" "$log" 2>/dev/null && [ ! -e "$program_dir/error.log" ]'

[ "$failures" -eq 0 ] || { echo "test-virtualstore.sh: $failures failures" >&2; exit 1; }
echo "test-virtualstore.sh: a user without the right to write Program Files updates the copy"
