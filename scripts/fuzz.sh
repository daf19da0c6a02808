#!/usr/bin/env bash
# Fuzzes the file reader, the SQL layer, the engine's write path and its
# expressions: builds jet_read_fuzzer, sql_parser_fuzzer, jet_write_fuzzer
# and expression_fuzzer with clang, AddressSanitizer and UBSan into
# build-fuzz/ (or $TESSALY_FUZZ_BUILD), and runs libFuzzer on the first three
# for a third of SECONDS (default 60) less the expressions' share, a tenth
# (at least a second). The reader's
# scratch corpus is seeded with copies of the shared .mdb files; the SQL
# target's with the statements the calendar update sends, and a dictionary
# of SQL words; the write target's with the small calendars of the shared
# fixtures (a few dozen pages each) and Access 97 calendars made from their
# rows with the fuzz build's jetdb, on which it runs the update's
# statements; the expression target's with default values and validation
# rules as Access's designer writes them. Further arguments go to libFuzzer (every target) and override
# the defaults below.
# Exits non-zero on any crash, leak, timeout or out-of-memory; the input that
# caused it is left in the build folder's artifacts/.
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
expression_seconds=$(( seconds / 10 ))
(( expression_seconds > 0 )) || expression_seconds=1
seconds=$(( seconds > expression_seconds ? seconds - expression_seconds : 1 ))
read_seconds=$(( (seconds + 2) / 3 ))
sql_seconds=$(( (seconds + 1) / 3 ))
write_seconds=$(( seconds - read_seconds - sql_seconds ))
(( sql_seconds > 0 )) || sql_seconds=1
(( write_seconds > 0 )) || write_seconds=1

repo="$(cd "$(dirname "$0")/.." && pwd)"
shared="$(cd "$repo/../shared" 2>/dev/null && pwd)" || {
  echo "fuzz.sh: no shared test data beside the checkout ($repo/../shared)" >&2
  exit 1
}
build="${TESSALY_FUZZ_BUILD:-$repo/build-fuzz}"

for tool in clang clang++ iconv; do
  command -v "$tool" >/dev/null || { echo "fuzz.sh: $tool is not installed" >&2; exit 1; }
done

source "$repo/scripts/compiler-cache.sh"
CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cache_args[@]}" \
  -DTESSALY_BUILD_FUZZ=ON -DTESSALY_SANITIZE=ON \
  -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target jet_read_fuzzer sql_parser_fuzzer jet_write_fuzzer \
  expression_fuzzer jetdb

# libFuzzer adds new inputs to the first corpus folder, so it gets copies;
# the shared files are never handed to it. The folders start afresh each run
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

# run_fuzzer TARGET CORPUS SECONDS MAX_LEN ARTIFACT_PREFIX [OPTION...]: one
# libFuzzer run with the options every target shares, then the target's own
# and the caller's. libFuzzer exits non-zero on a crash, leak, timeout or
# OOM; set -e passes that on.
libfuzzer_options=("$@")
run_fuzzer() {
  local target="$1" corpus_dir="$2" run_seconds="$3" max_len="$4" prefix="$5"
  shift 5
  "$build/bin/$target" "$corpus_dir" \
    -max_total_time="$run_seconds" \
    -rss_limit_mb=2048 \
    -timeout=10 \
    -max_len="$max_len" \
    -print_final_stats=1 \
    -artifact_prefix="$prefix" \
    "$@" "${libfuzzer_options[@]}"
}

echo "fuzz.sh: ${#seeds[@]} seeds (largest $largest bytes), running jet_read_fuzzer ${read_seconds}s"
run_fuzzer jet_read_fuzzer "$corpus" "$read_seconds" "$largest" "$artifacts/"

# The SQL target reads one statement per line; each seed is one statement
# of the calendar update, and one seed holds them all in their usual order.
sql_corpus="$build/sql_corpus"
rm -rf "$sql_corpus"
mkdir -p "$sql_corpus"
statements=(
  "SELECT * FROM Dates WHERE (((Dates.DateKey)=#1/6/2010#));"
  "SELECT * FROM EventDates WHERE (((EventDates.EventDate)=#1/1/2010#));"
  "SELECT * FROM Events WHERE (((Events.EventID)=12));"
  "INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, EventIcon, Notes, Recurring) VALUES ('New Year''s Day','1','0:00 AM','11:59 PM','','','','0');"
  "SELECT @@IDENTITY"
  "INSERT INTO EventDates (EventId, EventDate) VALUES ('12','1/1/2010');"
  "UPDATE Dates SET EventCount = 3 WHERE (((Dates.DateKey)=#1/1/2010#));"
  "INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) VALUES ('1/1/2010','','1','','');"
  "UPDATE Dates SET DateColor = 'White', DateText = '' WHERE (((Dates.DateKey)=#1/1/2010#));"
  "INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) VALUES ('1/1/2010','White','0','','');"
  "SELECT * FROM Events WHERE NOT (Notes IS NULL) OR [EventName] <> 'x' AND Recurring = True"
  "DELETE FROM EventDates WHERE (((EventDates.EventDate)=#1/1/2010#));"
  "DELETE Events.* FROM Events WHERE EventID = 12"
)
for i in "${!statements[@]}"; do
  printf '%s' "${statements[$i]}" > "$sql_corpus/statement-$i.sql"
done
printf '%s\n' "${statements[@]}" > "$sql_corpus/all.sql"
dictionary="$build/sql.dict"
: > "$dictionary"
for word in SELECT INSERT INTO VALUES UPDATE DELETE SET FROM WHERE AND OR NOT IS NULL TRUE FALSE \
    "@@IDENTITY" "*" "(" ")" "," ";" "=" "<>" "<=" ">=" "''" "#1/6/2010#" "#12/30/1899 11:59 PM#" \
    Dates Events EventDates DateKey DateColor EventCount EventID AllDayEvent StartTime Notes; do
  printf '"%s"\n' "$word" >> "$dictionary"
done

echo "fuzz.sh: ${#statements[@]} statement seeds, running sql_parser_fuzzer ${sql_seconds}s"
run_fuzzer sql_parser_fuzzer "$sql_corpus" "$sql_seconds" 4096 "$artifacts/sql-" \
  -dict="$dictionary"

# The write target takes whole calendars; only the small ones are seeds, so
# that an execution stays in milliseconds.
write_corpus="$build/write_corpus"
rm -rf "$write_corpus"
mkdir -p "$write_corpus"
write_largest=0
for name in tessdata-blank.mdb tessdata-2009.mdb tessdata-textindex.mdb; do
  seed="$shared/fixtures/$name"
  [ -e "$seed" ] || { echo "fuzz.sh: no seed file $seed" >&2; exit 1; }
  cp -f "$seed" "$write_corpus/"
  chmod u+w "$write_corpus/$name"
  size=$(stat -c %s "$seed")
  (( size > write_largest )) && write_largest=$size
done

# Access 97 calendars: the calendar's tables in a new Jet 3 file, and the
# rows of the blank and the 2009 calendar (the text index calendar holds
# the same rows). Access 97 keeps text in code page 1252, so characters it
# lacks become '?' on the way, as a conversion to Access 97 would leave them.
for name in tessdata-blank tessdata-2009; do
  seed="$write_corpus/$name-access97.mdb"
  "$build/bin/jetdb" create --format jet3 "$seed" "$repo/data/calendar-schema.sql" >/dev/null
  for table in Dates Events EventDates; do
    "$build/bin/jetdb" export "$shared/fixtures/$name.mdb" "$table" --format jsonl |
      iconv -f UTF-8 -t CP1252//TRANSLIT | iconv -f CP1252 -t UTF-8 |
      "$build/bin/jetdb" import "$seed" "$table" - --format jsonl >/dev/null
  done
  "$build/bin/jetdb" check "$seed" >/dev/null
  size=$(stat -c %s "$seed")
  (( size > write_largest )) && write_largest=$size
done

echo "fuzz.sh: 5 calendar seeds (largest $write_largest bytes), running jet_write_fuzzer ${write_seconds}s"
run_fuzzer jet_write_fuzzer "$write_corpus" "$write_seconds" "$write_largest" \
  "$artifacts/write-"
# The expression target: a form byte (0 expression, 1 column rule), then the
# text.
expression_corpus="$build/expression_corpus"
rm -rf "$expression_corpus"
mkdir -p "$expression_corpus"
expressions=(
  "0=Now()" "0\"Ordinary\"" "0GenGUID()" "0=Date()+7" "0Year(Date()) & \"-\" & Month(Now())"
  "1Between 1 And 5" "1>=0" "1Is Not Null And Not Like \"[a-c]*#?\"" "1In (1, 2, Null)"
  "0IIf(IsNull([Flag]), Nz([Count], 0) \\ 2, Left([Name], 3))" "0[Day] - #1/1/2010# Mod 7"
  "0DateAdd(\"m\", 1, [Day]) > DateSerial(2010, 2, 28) Or Trim(UCase([Name])) <> ''"
  "0CCur([Price]) * -2 ^ 3 / 1.5E3"
)
for i in "${!expressions[@]}"; do
  printf '%s' "${expressions[$i]}" > "$expression_corpus/expression-$i.txt"
done
echo "fuzz.sh: ${#expressions[@]} expression seeds, running expression_fuzzer ${expression_seconds}s"
run_fuzzer expression_fuzzer "$expression_corpus" "$expression_seconds" 1024 "$artifacts/expression-"
echo "fuzz.sh: no crash, leak or timeout in $(( seconds + expression_seconds ))s"
