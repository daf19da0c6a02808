// Crash tests of deletes that cascade. A child process runs a few units of
// deletes on a copy of a file with enforced relationships, each delete taking
// the rows that refer to its row along, and is ended just before its n-th
// write, truncate, sync or removal (testing/crash_observer.h), as a killed
// process or as a power cut. Reopening must show exactly the state after
// some prefix of the units (each with everything it cascaded to), and the
// file must pass our check, mdbtools and the index checker. Every point is
// tried.
//
// The designed calendar (Access 2000: events take their date links along,
// one of them 104, another a 6,000-character memo) and indexTestV1997.mdb
// (Access 97: two tables referred to by a third, one cascading deletes).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/testing/crash_observer.h"
#include "support/child_process.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using testing::kCrashExit;

#ifdef _WIN32
constexpr uint64_t kStride = 3;  // see crash_test.cc: a new process is slow under Wine
constexpr bool kPowerCuts = false;
#else
constexpr uint64_t kStride = 1;
constexpr bool kPowerCuts = true;
#endif

// The row of `table` whose `column` holds `wanted` (an integer column), or
// one whose memo `column` is longer than `wanted` characters when `memo`.
Status FindRow(Database& db, const TableDef& table, const char* column, int64_t wanted,
               RowId* id, bool memo = false) {
  const ColumnDef* c = table.FindColumn(column);
  if (c == nullptr) return Status::NotFound(column);
  const size_t at = static_cast<size_t>(c - table.columns.data());
  auto cursor = db.Scan(table);
  if (!cursor.ok()) return cursor.status();
  Row row;
  Status s;
  while ((*cursor)->Next(&row, &s)) {
    const Value& v = row.values[at];
    if (memo ? v.kind() == Value::Kind::kText && static_cast<int64_t>(v.text().size()) > wanted
             : !v.is_null() && v.integer() == wanted) {
      *id = RowId{row.page, row.slot};
      return Status::OK();
    }
  }
  if (!s.ok()) return s;
  return Status::NotFound(table.name + " has no row for " + column);
}

Status DeleteWhere(Database& db, const char* table_name, const char* column, int64_t wanted,
                   bool memo = false) {
  auto table = db.GetTable(table_name);
  if (!table.ok()) return table.status();
  RowId id;
  JET_RETURN_IF_ERROR(FindRow(db, *table, column, wanted, &id, memo));
  return db.Delete(*table, id);
}

using Unit = std::function<Status(Database&)>;

struct Plan {
  const char* name;
  const char* folder;
  const char* file;
  std::vector<Unit> units;
};

const std::vector<Plan>& Plans() {
  static const std::vector<Plan> plans = {
      {"DesignedCalendar",
       "fixtures",
       "tessdata-designed.mdb",
       {
           // The weekly choir practice and its 104 links.
           [](Database& db) { return DeleteWhere(db, "Events", "EventID", 17); },
           // Two events and a whole January of days with their memos.
           [](Database& db) {
             JET_RETURN_IF_ERROR(DeleteWhere(db, "Events", "EventID", 5));
             JET_RETURN_IF_ERROR(DeleteWhere(db, "Events", "EventID", 6));
             auto dates = db.GetTable("Dates");
             if (!dates.ok()) return dates.status();
             for (int day = 0; day < 31; ++day) {
               auto key = std::find_if(dates->indexes.begin(), dates->indexes.end(),
                                       [](const IndexDef& i) { return i.IsPrimaryKey(); });
               if (key == dates->indexes.end()) return Status::NotFound("Dates' key");
               auto cursor = db.SeekRange(*dates, *key, nullptr, nullptr);
               if (!cursor.ok()) return cursor.status();
               Row row;
               Status s;
               if (!(*cursor)->Next(&row, &s)) return s.ok() ? Status::NotFound("no day") : s;
               cursor->reset();
               JET_RETURN_IF_ERROR(db.Delete(*dates, RowId{row.page, row.slot}));
             }
             return Status::OK();
           },
           // The event with the long memo: its pages go back.
           [](Database& db) { return DeleteWhere(db, "Events", "Notes", 5000, true); },
       }},
      {"Access97",
       "corpus",
       "indexTestV1997.mdb",
       {
           [](Database& db) { return DeleteWhere(db, "Table2", "id", 1); },
           [](Database& db) {
             JET_RETURN_IF_ERROR(DeleteWhere(db, "Table3", "id", 12));
             return DeleteWhere(db, "Table2", "id", 2);
           },
           [](Database& db) { return DeleteWhere(db, "Table2", "id", 0); },
       }},
  };
  return plans;
}

// Runs the first `count` units of plan `plan` on `path`, each in Begin ..
// Commit; `committed` after each.
Status RunUnits(const Plan& plan, const fs::path& path, size_t count, bool every_commit,
                const std::function<void()>& committed) {
  OpenOptions options;
  options.read_only = false;
  options.sync_every_commit = every_commit;
  options.checkpoint_bytes = 40000;  // checkpoints between the units
  auto opened = Database::Open(path.string(), options);
  if (!opened.ok()) return opened.status();
  Database& db = **opened;
  for (size_t i = 0; i < count; ++i) {
    JET_RETURN_IF_ERROR(db.Begin());
    Status s = plan.units[i](db);
    if (!s.ok()) {
      db.Rollback();
      return s;
    }
    JET_RETURN_IF_ERROR(db.Commit());
    committed();
  }
  return db.Close();
}

using State = std::map<std::string, std::multiset<std::string>>;

// Every user table's rows (in any order), after our check found no problem.
State ReadState(const fs::path& path, Status* status) {
  State state;
  auto db = Database::Open(path.string());
  if (!db.ok()) {
    *status = db.status();
    return state;
  }
  auto names = (*db)->UserTableNames();
  if (!names.ok()) {
    *status = names.status();
    return state;
  }
  for (const std::string& name : *names) {
    auto table = (*db)->GetTable(name);
    auto cursor = (*db)->Scan(*table);
    Row row;
    Status s;
    std::multiset<std::string>& rows = state[name];
    while ((*cursor)->Next(&row, &s)) {
      std::string line;
      for (const Value& v : row.values) {
        line += v.kind() == Value::Kind::kText ? std::string(v.text())
                : v.kind() == Value::Kind::kDateTime ? std::to_string(v.real())
                                                     : std::to_string(v.integer());
        line += '|';
      }
      rows.insert(line);
    }
    if (!s.ok()) *status = s;
  }
  auto problems = (*db)->Check();
  if (!problems.ok()) {
    *status = problems.status();
  } else if (!problems->empty()) {
    *status = Status::Corruption((*problems)[0]);
  }
  return state;
}

// args: plan index, path, stop at, power cut, sync every commit.
TESSALY_TEST_CHILD(CascadingDeleter) {
  const Plan& plan = Plans().at(std::stoul(args.at(0)));
  testing::CrashObserver observer(std::stoull(args.at(2)), args.at(3) == "1");
  SetFileObserverForTesting(&observer);
  const Status s = RunUnits(plan, args.at(1), plan.units.size(), args.at(4) == "1", [] {
    std::fputs("c", stdout);
    std::fflush(stdout);
  });
  SetFileObserverForTesting(nullptr);
  if (!s.ok()) std::fprintf(stderr, "%s\n", s.ToString().c_str());
  std::printf("\n%llu\n", static_cast<unsigned long long>(observer.count()));
  return s.ok() ? 0 : 2;
}

struct Mode {
  size_t plan;
  bool power_cut;
  bool every_commit;
};

void PrintTo(const Mode& m, std::ostream* out) {
  *out << Plans()[m.plan].name << (m.power_cut ? " power cut" : " kill")
       << (m.every_commit ? ", log synced at every commit" : "");
}

class DeleteCrashTest : public ::testing::TestWithParam<Mode> {};

TEST_P(DeleteCrashTest, EveryCrashPointLeavesAPrefixOfTheUnits) {
  const Plan& plan = Plans()[GetParam().plan];
  const bool power_cut = GetParam().power_cut;
  const bool every_commit = GetParam().every_commit;
  const bool committed_units_survive = !power_cut || every_commit;
  const tessaly::testing::SharedFileCopy original(plan.folder, plan.file);
  const fs::path work = original.dir() / "work.mdb";
  auto fresh_copy = [&] {
    fs::remove(work);
    fs::remove(work.string() + "-wal");
    fs::copy_file(original.path(), work);
  };

  // The state after each prefix of the units, run uninterrupted.
  std::vector<State> states;
  for (size_t k = 0; k <= plan.units.size(); ++k) {
    fresh_copy();
    ASSERT_TRUE(RunUnits(plan, work, k, false, [] {}).ok());
    Status read;
    states.push_back(ReadState(work, &read));
    ASSERT_TRUE(read.ok()) << "after " << k << " units: " << read.ToString();
    if (k > 0) {
      ASSERT_NE(states[k], states[k - 1]) << "unit " << k << " changed nothing";
    }
  }

  auto run = [&](uint64_t stop_at, uint64_t* operations, size_t* committed) {
    const tessaly::testing::ProcessResult result = tessaly::testing::RunChild(
        "CascadingDeleter", {std::to_string(GetParam().plan), work.string(),
                             std::to_string(stop_at), power_cut ? "1" : "0",
                             every_commit ? "1" : "0"});
    *committed = result.out.find_first_not_of('c');
    if (*committed == std::string::npos) *committed = result.out.size();
    const size_t line = result.out.find('\n');
    if (operations != nullptr && line != std::string::npos) {
      *operations = std::stoull(result.out.substr(line + 1));
    }
    if (result.exit_code != 0 && result.exit_code != kCrashExit) {
      ADD_FAILURE() << "child stopping at " << stop_at << " ended with " << result.exit_code
                    << ": " << result.err << result.error;
    }
    return result.exit_code;
  };
  fresh_copy();
  uint64_t operations = 0;
  size_t committed = 0;
  ASSERT_EQ(run(0, &operations, &committed), 0);
  ASSERT_EQ(committed, plan.units.size());
  std::cout << operations << " file operations in the run\n";

  std::vector<uint64_t> points;
  for (uint64_t n = 1; n <= operations; n += kStride) points.push_back(n);
  if (points.back() != operations) points.push_back(operations);
  int with_oracles = 0;
  for (uint64_t n : points) {
    fresh_copy();
    ASSERT_EQ(run(n, nullptr, &committed), kCrashExit) << "operation " << n;
    Status read;
    const State got = ReadState(work, &read);
    ASSERT_TRUE(read.ok()) << "after a crash at operation " << n << ": " << read.ToString();
    const size_t at_least = committed_units_survive ? committed : 0;
    bool prefix = false;
    for (size_t k = at_least; k < states.size(); ++k) prefix = prefix || got == states[k];
    EXPECT_TRUE(prefix) << "after a crash at operation " << n << ", " << committed
                        << " units committed";
    EXPECT_FALSE(fs::exists(work.string() + "-wal")) << "the log was not applied and removed";
    if (!tessaly::testing::kLinuxOracles || (n % (1 + operations / 4) != 0 && n != operations)) {
      continue;
    }
    ++with_oracles;
    for (const auto& [table, rows] : got) {
      const auto r = tessaly::testing::RunProcess({"mdb-json", work.string(), table});
      EXPECT_EQ(r.exit_code, 0) << "operation " << n << " " << table << ": " << r.err;
    }
    const auto check = tessaly::testing::RunJetcheck(work);
    if (!check.java_missing) {
      EXPECT_TRUE(check.passed()) << "operation " << n << ":\n" << check.output << check.error;
    }
  }
  EXPECT_TRUE(with_oracles > 0 || !tessaly::testing::kLinuxOracles);
}

std::vector<Mode> Modes() {
  std::vector<Mode> modes;
  for (size_t plan = 0; plan < Plans().size(); ++plan) {
    modes.push_back({plan, false, false});
    if (kPowerCuts) {
      modes.push_back({plan, true, false});
      modes.push_back({plan, true, true});
    }
  }
  return modes;
}

INSTANTIATE_TEST_SUITE_P(KillAndPowerCut, DeleteCrashTest, ::testing::ValuesIn(Modes()),
                         [](const auto& info) {
                           return std::string(Plans()[info.param.plan].name) +
                                  (info.param.power_cut ? "PowerCut" : "Kill") +
                                  (info.param.every_commit ? "SyncEveryCommit" : "");
                         });

}  // namespace
}  // namespace jet
