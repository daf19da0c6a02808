// Read benchmark: the 12,649-row Events table of tessdata-large.mdb, from
// opening the file to JSON lines in a memory buffer, the work of
// `jetdb export ... --format jsonl` without the final write. Split into its
// parts so that a slowdown can be placed: open, scan only, format only.
//
// The file is copied to a temporary folder first; the shared copy is never
// opened.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "jet/database.h"
#include "support/shared_copy.h"
#include "tools/jetdb/format.h"

namespace {

constexpr const char* kFileName = "tessdata-large.mdb";
constexpr const char* kTableName = "Events";

// The benchmark's own copy of the file, removed at exit.
using BenchFile = tessaly::testing::SharedFileCopy;

const BenchFile& File() {
  static const BenchFile file("fixtures", kFileName);
  return file;
}

// A copy of a decoded row that owns the bytes its text and binary values
// point to (a plain copy would still point into the original's storage).
jet::Row OwnedCopy(const jet::Row& row) {
  jet::Row copy;
  copy.page = row.page;
  copy.slot = row.slot;
  std::vector<size_t> offsets;
  for (const jet::Value& value : row.values) {
    offsets.push_back(copy.storage.size());
    copy.storage.append(value.binary());
  }
  for (size_t i = 0; i < row.values.size(); ++i) {
    const jet::Value& value = row.values[i];
    const bool has_bytes =
        value.kind() == jet::Value::Kind::kText || value.kind() == jet::Value::Kind::kBinary;
    copy.values.push_back(
        has_bytes
            ? jet::Value::Bytes(value.kind(), std::string_view(copy.storage.data() + offsets[i],
                                                               value.binary().size()))
            : value);
  }
  return copy;
}

std::unique_ptr<jet::Database> OpenOrSkip(benchmark::State& state) {
  auto db = jet::Database::Open(File().path());
  if (!db.ok()) {
    state.SkipWithError(db.status().ToString().c_str());
    return nullptr;
  }
  return std::move(*db);
}

// Scans the table, formatting each row into *out unless out is null.
// Returns the number of rows, or -1 after reporting an error.
int64_t ExportTable(benchmark::State& state, jet::Database& db, jetdb::OutputBuffer* out) {
  auto table = db.GetTable(kTableName);
  if (!table.ok()) {
    state.SkipWithError(table.status().ToString().c_str());
    return -1;
  }
  auto cursor = db.Scan(*table);
  if (!cursor.ok()) {
    state.SkipWithError(cursor.status().ToString().c_str());
    return -1;
  }
  const jetdb::RowFormatter formatter(jetdb::OutputFormat::kJsonLines, *table);
  jet::Row row;
  jet::Status status;
  int64_t rows = 0;
  while ((*cursor)->Next(&row, &status)) {
    if (out != nullptr) formatter.AppendRow(row, out);
    ++rows;
  }
  if (!status.ok()) {
    state.SkipWithError(status.ToString().c_str());
    return -1;
  }
  return rows;
}

// The whole export: open, read the definition, scan, format.
void BM_ExportEventsJsonLines(benchmark::State& state) {
  jetdb::OutputBuffer out;
  int64_t rows = 0;
  for (auto _ : state) {
    out.clear();
    std::unique_ptr<jet::Database> db = OpenOrSkip(state);
    if (db == nullptr) return;
    rows = ExportTable(state, *db, &out);
    if (rows < 0) return;
    benchmark::DoNotOptimize(out.view().data());
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(out.size()));
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ExportEventsJsonLines)->Unit(benchmark::kMillisecond);

void BM_OpenDatabase(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<jet::Database> db = OpenOrSkip(state);
    if (db == nullptr) return;
    auto table = db->GetTable(kTableName);
    benchmark::DoNotOptimize(table.ok());
  }
}
BENCHMARK(BM_OpenDatabase)->Unit(benchmark::kMillisecond);

// Decoding only, on an open database.
void BM_ScanEvents(benchmark::State& state) {
  std::unique_ptr<jet::Database> db = OpenOrSkip(state);
  if (db == nullptr) return;
  int64_t rows = 0;
  for (auto _ : state) {
    rows = ExportTable(state, *db, nullptr);
    if (rows < 0) return;
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_ScanEvents)->Unit(benchmark::kMillisecond);

// Formatting only: the rows are decoded once, then formatted again and again.
void BM_FormatEvents(benchmark::State& state) {
  std::unique_ptr<jet::Database> db = OpenOrSkip(state);
  if (db == nullptr) return;
  auto table = db->GetTable(kTableName);
  if (!table.ok()) {
    state.SkipWithError(table.status().ToString().c_str());
    return;
  }
  auto cursor = db->Scan(*table);
  if (!cursor.ok()) {
    state.SkipWithError(cursor.status().ToString().c_str());
    return;
  }
  std::vector<jet::Row> rows;
  jet::Row row;
  jet::Status status;
  while ((*cursor)->Next(&row, &status)) rows.push_back(OwnedCopy(row));
  if (!status.ok()) {
    state.SkipWithError(status.ToString().c_str());
    return;
  }
  const jetdb::RowFormatter formatter(jetdb::OutputFormat::kJsonLines, *table);
  jetdb::OutputBuffer out;
  for (auto _ : state) {
    out.clear();
    for (const jet::Row& kept : rows) formatter.AppendRow(kept, &out);
    benchmark::DoNotOptimize(out.view().data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}
BENCHMARK(BM_FormatEvents)->Unit(benchmark::kMillisecond);

// The row of one day in the 14,681-day Dates table: through its date index,
// and by a full scan that keeps the matching row. Each iteration opens the
// database afresh, so both pay for the pages they read.
constexpr double kOneDay = 36885;  // 12/25/2000

void BM_LookupOneDayThroughIndex(benchmark::State& state) {
  for (auto _ : state) {
    auto db = OpenOrSkip(state);
    if (db == nullptr) return;
    auto dates = db->GetTable("Dates");
    const jet::IndexDef* key = nullptr;
    for (const jet::IndexDef& index : dates->indexes) {
      if (index.columns.size() == 1 && index.columns[0].column_name == "DateKey") key = &index;
    }
    jet::KeyBound day{{jet::Value::Real(jet::Value::Kind::kDateTime, kOneDay)}, true};
    auto cursor = db->SeekRange(*dates, *key, &day, &day);
    jet::Row row;
    jet::Status status;
    int found = 0;
    while ((*cursor)->Next(&row, &status)) ++found;
    if (found != 1) state.SkipWithError("the day was not found once");
  }
}
BENCHMARK(BM_LookupOneDayThroughIndex)->Unit(benchmark::kMicrosecond);

void BM_LookupOneDayByScan(benchmark::State& state) {
  for (auto _ : state) {
    auto db = OpenOrSkip(state);
    if (db == nullptr) return;
    auto dates = db->GetTable("Dates");
    auto cursor = db->Scan(*dates);
    jet::Row row;
    jet::Status status;
    int found = 0;
    while ((*cursor)->Next(&row, &status)) found += row.values[0].real() == kOneDay;
    if (found != 1) state.SkipWithError("the day was not found once");
  }
}
BENCHMARK(BM_LookupOneDayByScan)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
