// Write benchmark: what one statement of an update run costs. On a fresh
// copy of tessdata-2009.mdb, batches of 1,000 inserts into Events (a memo
// each, the autonumber key indexed) and 1,000 updates of Dates rows (the
// count and the colour, the date key indexed), each statement its own unit
// as the update run sends them, with the log synced at each commit, only at
// checkpoints and close, and never. Reported per statement.
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "jet/database.h"
#include "support/shared_copy.h"

namespace {

constexpr int kStatements = 1000;

size_t Column(const jet::TableDef& table, const char* name) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].name == name) return i;
  }
  return 0;
}

// sync: 2 = the log synced at every commit, 1 = at checkpoints and close
// (the default), 0 = never.
std::unique_ptr<jet::Database> OpenCopy(const tessaly::testing::SharedFileCopy& copy, int sync,
                                        benchmark::State& state) {
  jet::OpenOptions options;
  options.read_only = false;
  options.sync = sync > 0;
  options.sync_every_commit = sync > 1;
  auto db = jet::Database::Open(copy.path().string(), options);
  if (!db.ok()) {
    state.SkipWithError(db.status().ToString().c_str());
    return nullptr;
  }
  return std::move(db).value();
}

// Closing writes the log into the file: part of what the statements cost.
void CloseCopy(jet::Database& db, benchmark::State& state) {
  jet::Status closed = db.Close();
  if (!closed.ok()) state.SkipWithError(closed.ToString().c_str());
}

void ReportPerStatement(benchmark::State& state) {
  state.counters["per_statement_us"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kStatements,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}

void BM_Insert(benchmark::State& state) {
  const int sync = static_cast<int>(state.range(0));
  const std::string notes(200, 'n');
  for (auto _ : state) {
    state.PauseTiming();
    tessaly::testing::SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
    auto db = OpenCopy(copy, sync, state);
    if (!db) return;
    auto events = db->GetTable("Events");
    std::vector<jet::Value> values(events->columns.size());
    values[Column(*events, "AllDayEvent")] = jet::Value::Boolean(true);
    values[Column(*events, "Notes")] = jet::Value::Bytes(jet::Value::Kind::kText, notes);
    std::string name;
    state.ResumeTiming();
    for (int i = 0; i < kStatements; ++i) {
      name = "Feast " + std::to_string(i);
      values[Column(*events, "EventName")] = jet::Value::Bytes(jet::Value::Kind::kText, name);
      values[Column(*events, "StartTime")] =
          jet::Value::Real(jet::Value::Kind::kDateTime, 40179 + i);
      auto inserted = db->Insert(*events, values);
      if (!inserted.ok()) {
        state.SkipWithError(inserted.status().ToString().c_str());
        return;
      }
    }
    CloseCopy(*db, state);
  }
  ReportPerStatement(state);
}

void BM_Update(benchmark::State& state) {
  const int sync = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    tessaly::testing::SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
    auto db = OpenCopy(copy, sync, state);
    if (!db) return;
    auto dates = db->GetTable("Dates");
    std::vector<jet::RowId> ids;
    {
      auto cursor = db->Scan(*dates);
      jet::Row row;
      jet::Status s;
      while ((*cursor)->Next(&row, &s)) ids.push_back({row.page, row.slot});
    }
    const size_t count = Column(*dates, "EventCount"), color = Column(*dates, "DateColor");
    const std::string colors[] = {"White", "Violet", "Green", "Red"};
    state.ResumeTiming();
    for (int i = 0; i < kStatements; ++i) {
      jet::Status s =
          db->Update(*dates, ids[static_cast<size_t>(i) % ids.size()],
                     {{count, jet::Value::Integer(jet::Value::Kind::kLong, i)},
                      {color, jet::Value::Bytes(jet::Value::Kind::kText, colors[i % 4])}});
      if (!s.ok()) {
        state.SkipWithError(s.ToString().c_str());
        return;
      }
    }
    CloseCopy(*db, state);
  }
  ReportPerStatement(state);
}

// Argument: the sync mode of OpenCopy.
BENCHMARK(BM_Insert)
    ->Arg(2)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_Update)
    ->Arg(2)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
