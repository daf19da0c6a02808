#!/usr/bin/env bash
# Update benchmark: times the whole process of
#   tessaly-update-cli COPY.mdb
# on private copies of tessdata-2009.mdb (one year in use) and
# tessdata-large.mdb (40 years), as a first run on a fresh copy and as a
# rerun on the updated file (which writes nothing). Uses hyperfine; each first
# run gets a fresh copy whose pages are flushed first (sync), so that the
# update's own syncs at close do not pay for the copy.
#
# Targets: about 50-70 ms a run on both files, the 40-year file at most 1.5
# times the one-year file, a rerun faster still. Prints the medians and
# exits 1 when a target is missed.
#
# The program is built with RelWithDebInfo into build-update-bench/ (only its
# own target), or taken from $TESSALY_UPDATE_CLI when that is set.
# Never part of the test suite: timings depend on the machine and its load.
set -euo pipefail

runs="${RUNS:-15}"
repo="$(cd "$(dirname "$0")/.." && pwd)"
shared="$(cd "$repo/../shared" 2>/dev/null && pwd)" || {
  echo "bench-update.sh: no shared test data beside the checkout ($repo/../shared)" >&2
  exit 1
}
command -v hyperfine >/dev/null || { echo "bench-update.sh: hyperfine is not installed" >&2; exit 1; }

cli="${TESSALY_UPDATE_CLI:-}"
if [[ -z "$cli" ]]; then
  build="$repo/build-update-bench"
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" --target tessaly-update-cli >/dev/null
  cli="$build/bin/tessaly-update-cli"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$cli" "$work/tessaly-update-cli"  # error.log, if any, lands here

declare -A median
for name in tessdata-2009 tessdata-large; do
  src="$shared/fixtures/$name.mdb"
  db="$work/$name.mdb"
  hyperfine -N --runs "$runs" --warmup 1 \
    --prepare "sh -c 'cp $src $db && chmod u+w $db && sync $db'" \
    --export-json "$work/$name-first.json" \
    --command-name "$name first run" "$work/tessaly-update-cli $db"
  hyperfine -N --runs "$runs" --warmup 1 \
    --export-json "$work/$name-rerun.json" \
    --command-name "$name rerun" "$work/tessaly-update-cli $db"
  for kind in first rerun; do
    median[$name-$kind]=$(python3 -c "import json,sys; print(round(json.load(open(sys.argv[1]))['results'][0]['median']*1000, 1))" "$work/$name-$kind.json")
  done
done

echo
printf '%-16s %12s %12s\n' file "first (ms)" "rerun (ms)"
for name in tessdata-2009 tessdata-large; do
  printf '%-16s %12s %12s\n' "$name" "${median[$name-first]}" "${median[$name-rerun]}"
done

python3 - "${median[tessdata-2009-first]}" "${median[tessdata-2009-rerun]}" \
  "${median[tessdata-large-first]}" "${median[tessdata-large-rerun]}" <<'PY'
import sys
year, year_rerun, large, large_rerun = map(float, sys.argv[1:])
missed = []
if max(year, large) > 70: missed.append("a first run takes more than 70 ms")
if large > 1.5 * year: missed.append("the 40-year file takes more than 1.5 times the one-year file")
if year_rerun >= year or large_rerun >= large: missed.append("a rerun is not faster than the first run")
print(f"40-year / one-year: {large / year:.2f}")
for m in missed: print("missed:", m)
sys.exit(1 if missed else 0)
PY
