#!/usr/bin/env bash
# Read benchmark: builds a Release jetdb and jet_read_bench into build-bench/,
# then times the whole process of
#   jetdb export tessdata-large.mdb Events --format jsonl >/dev/null
# against
#   mdb-json tessdata-large.mdb Events >/dev/null
# in RUNS pairs (default 15): each pair runs both programs one right after
# the other (which one first alternates), so that both see the same load on
# the machine. Prints the median time of each and the median of the pairs'
# ratios; the target is jetdb at most 0.25 of mdb-json's time, and the
# script exits 1 when it is missed. Finally runs jet_read_bench, which splits
# the export into its parts. JETDB=path/to/jetdb times that program instead
# of the one built here (a build from before a change, say).
#
# Never part of the test suite: timings depend on the machine and its load.
set -euo pipefail

runs="${RUNS:-15}"
target="0.25"
repo="$(cd "$(dirname "$0")/.." && pwd)"
shared="$(cd "$repo/../shared" 2>/dev/null && pwd)" || {
  echo "bench.sh: no shared test data beside the checkout ($repo/../shared)" >&2
  exit 1
}
build="$repo/build-bench"
command -v mdb-json >/dev/null || { echo "bench.sh: mdb-json is not installed (package mdbtools)" >&2; exit 1; }

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target jetdb jet_read_bench

# Both programs read the same private copy of the file.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$shared/fixtures/tessdata-large.mdb" "$work/large.mdb"
ours=("${JETDB:-$build/bin/jetdb}" export "$work/large.mdb" Events --format jsonl)
theirs=(mdb-json "$work/large.mdb" Events)

# Both must succeed and produce the same number of rows before timing means anything.
our_rows=$("${ours[@]}" | wc -l)
their_rows=$("${theirs[@]}" | wc -l)
echo "rows: jetdb $our_rows, mdb-json $their_rows"
[ "$our_rows" -eq "$their_rows" ] || { echo "bench.sh: row counts differ" >&2; exit 1; }

# Microseconds now: bash's own clock, so that timing a run starts no other
# process; date where bash is too old to have it.
now_us() {
  if [ -n "${EPOCHREALTIME:-}" ]; then
    local t="${EPOCHREALTIME/[.,]/}"
    echo "$t"
  else
    echo $(( $(date +%s%N) / 1000 ))
  fi
}

# Runs "$@" once with output discarded; prints its wall time in microseconds.
time_us() {
  local start end
  start=$(now_us)
  "$@" >/dev/null
  end=$(now_us)
  echo $((end - start))
}

median() {  # of numbers, one a line
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for _ in 1 2 3; do "${ours[@]}" >/dev/null; "${theirs[@]}" >/dev/null; done  # warm the page cache
pairs="$work/pairs"
: >"$pairs"
for i in $(seq "$runs"); do
  if [ $((i % 2)) -eq 1 ]; then
    a=$(time_us "${ours[@]}"); b=$(time_us "${theirs[@]}")
  else
    b=$(time_us "${theirs[@]}"); a=$(time_us "${ours[@]}")
  fi
  echo "$a $b" >>"$pairs"
done

our_ms=$(awk '{ print $1 / 1000 }' "$pairs" | median)
their_ms=$(awk '{ print $2 / 1000 }' "$pairs" | median)
ratio=$(awk '{ print $1 / $2 }' "$pairs" | median)

echo
printf 'median jetdb export:  %.2f ms\n' "$our_ms"
printf 'median mdb-json:      %.2f ms\n' "$their_ms"
printf 'ratio jetdb/mdb-json: %.3f (median of %d paired runs; target <= %s)\n' "$ratio" "$runs" "$target"

echo
"$build/bin/jet_read_bench" --benchmark_min_time=0.5

if awk -v r="$ratio" -v t="$target" 'BEGIN { exit !(r > t) }'; then
  echo "bench.sh: target missed" >&2
  exit 1
fi
