// Crash tests of deletes that cascade. A child process runs a few units of
// DELETE statements on a copy of a file with enforced relationships, and is
// ended just before its n-th write, truncate, sync or removal
// (testing/fault_file_system.h), as a killed process or as a power cut.
// Reopening must show exactly the state after some prefix of the units,
// each with everything it cascaded to, and the file must pass our check,
// mdbtools and the index checker. Every point is tried.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/testing/fault_file_system.h"
#include "jet/testing/test_util.h"
#include "sql/session.h"
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

struct Plan {
  const char* name;
  const char* folder;
  const char* file;
  std::vector<std::vector<const char*>> units;  // statements of each unit
};

const std::vector<Plan> kPlans = {
    // Events take their date links along: the weekly choir practice 104 of
    // them, the youth retreat a 6,000-character memo; days go with theirs.
    {"DesignedCalendar",
     "fixtures",
     "tessdata-designed.mdb",
     {{"DELETE FROM Events WHERE EventID = 17"},
      {"DELETE FROM Events WHERE EventID = 5", "DELETE FROM Events WHERE EventID = 6",
       "DELETE FROM Dates WHERE DateKey < #2/1/2009#"},
      {"DELETE FROM Events WHERE EventID = 24"}}},
    // Table2's rows take Table1's along; Table3's cascade nothing.
    {"Access97",
     "corpus",
     "indexTestV1997.mdb",
     {{"DELETE FROM Table2 WHERE id = 1"},
      {"DELETE FROM Table3 WHERE id = 12", "DELETE FROM Table2 WHERE id = 2"},
      {"DELETE * FROM Table2"}}},
};

// Runs the first `count` units of `plan` on `path`, each in Begin .. Commit.
Status RunUnits(const Plan& plan, const fs::path& path, FileSystem* files, size_t count,
                bool every_commit, const std::function<void()>& committed) {
  OpenOptions options;
  options.file_system = files;
  options.read_only = false;
  options.sync_every_commit = every_commit;
  options.checkpoint_bytes = 40000;  // checkpoints between the units
  auto db = Database::Open(path.string(), options);
  if (!db.ok()) return db.status();
  sql::Session session(**db);
  for (size_t i = 0; i < count; ++i) {
    JET_RETURN_IF_ERROR((*db)->Begin());
    for (const char* statement : plan.units[i]) {
      sql::Outcome outcome;
      sql::Error error;
      if (!session.Execute(statement, &outcome, &error) || outcome.rows_affected == 0) {
        (*db)->Rollback();
        return Status::InvalidArgument(std::string(statement) + ": " + error.description);
      }
    }
    JET_RETURN_IF_ERROR((*db)->Commit());
    committed();
  }
  return (*db)->Close();
}

using State = testing::TableRows;

// args: plan, path, stop at, power cut, sync every commit.
TESSALY_TEST_CHILD(CascadingDeleter) {
  const Plan& plan = kPlans.at(std::stoul(args.at(0)));
  testing::FaultFileSystem files;
  files.StrikeAt(std::stoull(args.at(2)),
                 args.at(3) == "1" ? testing::Fault::kPowerCut : testing::Fault::kKill);
  const Status s = RunUnits(plan, args.at(1), &files, plan.units.size(), args.at(4) == "1", [] {
    std::fputs("c", stdout);
    std::fflush(stdout);
  });
  if (!s.ok()) std::fprintf(stderr, "%s\n", s.ToString().c_str());
  std::printf("\n%llu\n", static_cast<unsigned long long>(files.operations()));
  return s.ok() ? 0 : 2;
}

struct Mode {
  size_t plan;
  bool power_cut;
  bool every_commit;
};

void PrintTo(const Mode& m, std::ostream* out) {
  *out << kPlans[m.plan].name << (m.power_cut ? " power cut" : " kill")
       << (m.every_commit ? ", log synced at every commit" : "");
}

class DeleteCrashTest : public ::testing::TestWithParam<Mode> {};

TEST_P(DeleteCrashTest, EveryCrashPointLeavesAPrefixOfTheUnits) {
  const Mode mode = GetParam();
  const Plan& plan = kPlans[mode.plan];
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
    const Status ran = RunUnits(plan, work, nullptr, k, false, [] {});
    ASSERT_TRUE(ran.ok()) << ran.ToString();
    Status read;
    states.push_back(testing::ReadTableRows(work, &read));
    ASSERT_TRUE(read.ok()) << "after " << k << " units: " << read.ToString();
  }
  auto run = [&](uint64_t stop_at, uint64_t* operations, size_t* committed) {
    const auto result = tessaly::testing::RunChild(
        "CascadingDeleter", {std::to_string(mode.plan), work.string(), std::to_string(stop_at),
                             mode.power_cut ? "1" : "0", mode.every_commit ? "1" : "0"});
    *committed = std::min(result.out.find_first_not_of('c'), result.out.size());
    if (operations != nullptr) *operations = std::stoull(result.out.substr(*committed + 1));
    EXPECT_TRUE(result.exit_code == 0 || result.exit_code == kCrashExit)
        << "stopped at " << stop_at << ": " << result.exit_code << " " << result.err;
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
  for (uint64_t n : points) {
    fresh_copy();
    ASSERT_EQ(run(n, nullptr, &committed), kCrashExit) << "operation " << n;
    Status read;
    const State got = testing::ReadTableRows(work, &read);
    ASSERT_TRUE(read.ok()) << "after a crash at operation " << n << ": " << read.ToString();
    // A unit whose Commit returned survives a killed process, and a power
    // cut when the log is synced at every commit.
    const size_t kept = !mode.power_cut || mode.every_commit ? committed : 0;
    EXPECT_NE(std::find(states.begin() + kept, states.end(), got), states.end())
        << "after a crash at operation " << n << ", " << committed << " units committed";
    EXPECT_FALSE(fs::exists(work.string() + "-wal")) << "the log was not applied and removed";
    if (!tessaly::testing::kLinuxOracles || (n % (1 + operations / 4) != 0 && n != operations)) {
      continue;
    }
    for (const auto& [table, rows] : got) {
      const auto r = tessaly::testing::RunProcess({"mdb-json", work.string(), table});
      EXPECT_EQ(r.exit_code, 0) << "operation " << n << " " << table << ": " << r.err;
    }
    const auto check = tessaly::testing::RunJetcheck(work);
    EXPECT_TRUE(check.java_missing || check.passed()) << n << ":\n" << check.output << check.error;
  }
}

std::vector<Mode> Modes() {
  std::vector<Mode> modes;
  for (size_t plan = 0; plan < kPlans.size(); ++plan) {
    modes.push_back({plan, false, false});
    if (kPowerCuts) modes.insert(modes.end(), {{plan, true, false}, {plan, true, true}});
  }
  return modes;
}

INSTANTIATE_TEST_SUITE_P(KillAndPowerCut, DeleteCrashTest, ::testing::ValuesIn(Modes()),
                         [](const auto& info) {
                           return std::string(kPlans[info.param.plan].name) +
                                  (info.param.power_cut ? "PowerCut" : "Kill") +
                                  (info.param.every_commit ? "SyncEveryCommit" : "");
                         });

}  // namespace
}  // namespace jet
