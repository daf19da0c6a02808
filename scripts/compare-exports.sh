#!/usr/bin/env bash
# Compares what two jetdb programs export, byte for byte:
#   scripts/compare-exports.sh BEFORE AFTER
# e.g. a jetdb built from the last commit against the one in build/bin. For
# every .mdb in ../shared/fixtures and ../shared/corpus, every user table and
# the catalog table MSysObjects are exported as JSON lines and as CSV by both
# programs; standard output, standard error and the exit status must agree.
# Each file is copied to a private folder first, so the shared copies are
# never opened. Prints one line per difference and a closing count; exits 1
# when anything differs. A change meant to keep the output as it is (a speed
# change, say) runs this before it is committed.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 BEFORE-JETDB AFTER-JETDB" >&2
  exit 2
fi
before="$(realpath "$1")"
after="$(realpath "$2")"
repo="$(cd "$(dirname "$0")/.." && pwd)"
shared="$(cd "$repo/../shared" 2>/dev/null && pwd)" || {
  echo "compare-exports.sh: no shared test data beside the checkout ($repo/../shared)" >&2
  exit 1
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Runs "$@" and writes its output, its errors and its exit status to $out.*.
capture() {
  local out="$1"
  shift
  local rc=0
  "$@" >"$out.stdout" 2>"$out.stderr" || rc=$?
  echo "$rc" >"$out.rc"
}

differences=0
exports=0
for file in "$shared"/fixtures/*.mdb "$shared"/corpus/*.mdb; do
  name="$(basename "$file")"
  cp "$file" "$work/$name"
  chmod u+w "$work/$name"
  tables=()
  if names="$("$after" tables "$work/$name" 2>/dev/null)"; then
    mapfile -t tables <<<"$names"
  fi
  tables+=(MSysObjects)
  for table in "${tables[@]}"; do
    [ -n "$table" ] || continue
    for format in jsonl csv; do
      capture "$work/before" "$before" export "$work/$name" "$table" --format "$format"
      capture "$work/after" "$after" export "$work/$name" "$table" --format "$format"
      exports=$((exports + 1))
      for part in stdout stderr rc; do
        if ! cmp -s "$work/before.$part" "$work/after.$part"; then
          echo "differs: $name $table --format $format ($part)"
          differences=$((differences + 1))
        fi
      done
    done
  done
  rm -f "$work/$name" "$work/$name-wal"
done

echo "$exports exports compared, $differences differences"
[ "$differences" -eq 0 ]
