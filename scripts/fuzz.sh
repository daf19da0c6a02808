#!/usr/bin/env bash
# Fuzzes the file reader: builds jet_read_fuzzer with clang, AddressSanitizer
# and UBSan into build-fuzz/, seeds a scratch corpus with copies of the shared
# .mdb files, and runs libFuzzer for SECONDS (default 60). Further arguments
# go to libFuzzer and override the defaults below.
# Exits non-zero on any crash, leak, timeout or out-of-memory; the input that
# caused it is left in build-fuzz/artifacts/.
#
# libFuzzer keeps its whole corpus in memory, and inputs grown from the
# megabyte-sized seeds are as large: memory use rises with the corpus, to
# about 1.8 GB after ten minutes and 2.4 GB after 25 on this machine class:
# runs longer than ten minutes should raise the limit, e.g.
#   scripts/fuzz.sh 3600 -rss_limit_mb=8192
set -euo pipefail

seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS [libFuzzer options...]]" >&2; exit 2 ;;
esac
shift $(( $# > 0 ? 1 : 0 ))

repo="$(cd "$(dirname "$0")/.." && pwd)"
shared="$(cd "$repo/../shared" 2>/dev/null && pwd)" || {
  echo "fuzz.sh: no shared test data beside the checkout ($repo/../shared)" >&2
  exit 1
}
build="$repo/build-fuzz"

for tool in clang clang++; do
  command -v "$tool" >/dev/null || { echo "fuzz.sh: $tool is not installed" >&2; exit 1; }
done

CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_BUILD_FUZZ=ON -DTESSALY_SANITIZE=ON \
  -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target jet_read_fuzzer

# libFuzzer adds new inputs to the first corpus folder, so it gets copies;
# the shared files are never handed to it. The folder starts afresh each run
# (inputs run to megabytes, and a kept corpus would grow without bound).
corpus="$build/corpus"
artifacts="$build/artifacts"
rm -rf "$corpus"
mkdir -p "$corpus" "$artifacts"
seeds=("$shared"/corpus/*.mdb "$shared"/fixtures/*.mdb)
[ -e "${seeds[0]}" ] || { echo "fuzz.sh: no seed files in $shared" >&2; exit 1; }
largest=0
for seed in "${seeds[@]}"; do
  cp -f "$seed" "$corpus/"
  chmod u+w "$corpus/$(basename "$seed")"
  size=$(stat -c %s "$seed")
  (( size > largest )) && largest=$size
done

echo "fuzz.sh: ${#seeds[@]} seeds (largest $largest bytes), running ${seconds}s"
# libFuzzer exits non-zero on a crash, leak, timeout or OOM; set -e passes that on.
"$build/bin/jet_read_fuzzer" "$corpus" \
  -max_total_time="$seconds" \
  -rss_limit_mb=2048 \
  -timeout=10 \
  -max_len="$largest" \
  -print_final_stats=1 \
  -artifact_prefix="$artifacts/" \
  "$@"
echo "fuzz.sh: no crash, leak or timeout in ${seconds}s"
