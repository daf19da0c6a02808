#!/usr/bin/env bash
# Read benchmark: builds a Release jetdb and jet_read_bench into build-bench/,
# then times the whole process of
#   jetdb export tessdata-large.mdb Events --format jsonl >/dev/null
# against
#   mdb-json tessdata-large.mdb Events >/dev/null
# with hyperfine when it is installed (apt-get install hyperfine), otherwise
# with a plain loop of RUNS runs each. Prints both medians and their ratio;
# the target is jetdb at most half of mdb-json's time. Exits 1 when it is
# missed. Finally runs jet_read_bench, which splits the export into its parts.
#
# Never part of the test suite: timings depend on the machine and its load.
set -euo pipefail

runs="${RUNS:-30}"
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
ours=("$build/bin/jetdb" export "$work/large.mdb" Events --format jsonl)
theirs=(mdb-json "$work/large.mdb" Events)

# Both must succeed and produce the same number of rows before timing means anything.
our_rows=$("${ours[@]}" | wc -l)
their_rows=$("${theirs[@]}" | wc -l)
echo "rows: jetdb $our_rows, mdb-json $their_rows"
[ "$our_rows" -eq "$their_rows" ] || { echo "bench.sh: row counts differ" >&2; exit 1; }

median_ms() {  # median of numbers (seconds), one a line, printed in ms
  sort -g | awk '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.2f\n", m * 1000 }'
}

if command -v hyperfine >/dev/null; then
  csv="$work/times.csv"
  hyperfine --warmup 3 --runs "$runs" --shell=none --export-csv "$csv" \
    --command-name jetdb "${ours[*]}" --command-name mdb-json "${theirs[*]}"
  # Columns: command,mean,stddev,median,user,system,min,max (seconds).
  our_ms=$(awk -F, '$1 == "jetdb" { printf "%.2f", $4 * 1000 }' "$csv")
  their_ms=$(awk -F, '$1 == "mdb-json" { printf "%.2f", $4 * 1000 }' "$csv")
else
  echo "hyperfine not installed; timing $runs runs of each with a shell loop"
  time_runs() {
    for _ in 1 2 3; do "$@" >/dev/null; done  # warm the page cache
    for _ in $(seq "$runs"); do
      start=$(date +%s%N)
      "$@" >/dev/null
      end=$(date +%s%N)
      awk -v s="$start" -v e="$end" 'BEGIN { print (e - s) / 1e9 }'
    done
  }
  our_ms=$(time_runs "${ours[@]}" | median_ms)
  their_ms=$(time_runs "${theirs[@]}" | median_ms)
fi

ratio=$(awk -v a="$our_ms" -v b="$their_ms" 'BEGIN { printf "%.3f", a / b }')
echo
echo "median jetdb export:  $our_ms ms"
echo "median mdb-json:      $their_ms ms"
echo "ratio jetdb/mdb-json: $ratio (target <= 0.5)"

echo
"$build/bin/jet_read_bench" --benchmark_min_time=0.5

if awk -v r="$ratio" 'BEGIN { exit !(r > 0.5) }'; then
  echo "bench.sh: target missed" >&2
  exit 1
fi
