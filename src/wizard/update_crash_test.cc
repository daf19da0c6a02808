// The batch update killed at every write call of a whole run: the file opens
// and checks clean, mdbtools reads it, and a complete run afterwards leaves
// exactly the state of an uninterrupted run. The connection keeps the whole
// run in one engine unit (ado/connection.h, A5), so a kill leaves the file as
// it was before the run, or, once the unit is in the log, as after it. The
// open that applies a leftover log is killed at each of its writes too.
// It runs on the Jet 4 calendar of the fixtures and on an Access 97 one
// made from its rows.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "ado/connection.h"
#include "jet/database.h"
#include "jet/log/wal.h"
#include "jet/testing/fault_file_system.h"
#include "support/access97_calendar.h"
#include "support/child_process.h"
#include "support/fake_reporter_environment.h"
#include "support/run_process.h"
#include "support/shared_copy.h"
#include "wizard/update.h"

namespace wizard {
namespace {

namespace fs = std::filesystem;
constexpr int kKilled = 77;

struct FinishView : UpdateView {
  void SetStatusText(std::string_view) override {}
  void SetMainButtonCaption(std::string_view text) override { finished = text == "Finish"; }
  void SetMainButtonEnabled(bool) override {}
  void SetCancelEnabled(bool) override {}
  void YieldToEvents() override {}
  bool finished = false;
};

// The child: runs Update on a file ("update"), or only opens it for
// reading, which applies a leftover log ("open"), killed at write `stop_at`
// (0: never). Prints each statement as it begins, and at the end a line
// with the number of writes it made.
TESSALY_TEST_CHILD(KilledUpdate) {
  const std::string path = args.at(1);
  // Ends the process just before write call `stop_at` (0: never).
  const uint64_t stop_at = std::stoull(args.at(2));
  uint64_t writes = 0;
  jet::testing::FaultFileSystem files;
  files.SetHook([&](const jet::testing::FileOperation& operation) {
    if (operation.op == jet::testing::FileOp::kWrite && ++writes == stop_at) std::_Exit(kKilled);
    return jet::Status::OK();
  });
  ado::SetFileSystem(&files);
  ado::SetStatementTrace([](std::string_view statement) {
    std::printf("%.*s\n", static_cast<int>(statement.size()), statement.data());
    std::fflush(stdout);
  });
  bool finished = true;
  if (args.at(0) == "open") {
    jet::OpenOptions options;
    options.file_system = &files;
    finished = jet::Database::Open(path, options).ok();
  } else {
    FinishView view;
    Update(view, path);
    finished = view.finished;
  }
  std::printf("\n%llu\n", static_cast<unsigned long long>(writes));
  return finished ? 0 : 2;
}

// Runs the child; returns its exit code. `last` is the last statement it
// began, or, when it ran to the end, the number of writes it made.
int RunChild(const fs::path& path, uint64_t stop_at, std::string* last, bool open_only = false) {
  const tessaly::testing::ProcessResult result = tessaly::testing::RunChild(
      "KilledUpdate", {open_only ? "open" : "update", path.string(), std::to_string(stop_at)});
  std::string out = result.out;
  if (!out.empty() && out.back() == '\n') out.pop_back();
  const size_t line = out.rfind('\n');
  *last = line == std::string::npos ? out : out.substr(line + 1);
  return result.exit_code;
}

// Copies `from` over `to` (MinGW's copy_file cannot overwrite).
void CopyOver(const fs::path& from, const fs::path& to) {
  fs::remove(to);
  fs::copy_file(from, to);
}

// Days, events and links (as event@date), event numbers replaced by the
// events themselves so that states reached along different paths compare.
using State = std::map<std::string, std::multiset<std::string>>;

State ReadState(const fs::path& path) {
  State state;
  auto db = jet::Database::Open(path.string());  // applies the log a kill left
  auto problems = (*db)->Check();
  EXPECT_TRUE(problems.ok() && problems->empty()) << path;
  std::map<int64_t, std::string> events;  // number -> the event's other columns
  for (const std::string name : {"Events", "EventDates", "Dates"}) {
    auto cursor = (*db)->Scan(*(*db)->GetTable(name));
    jet::Row row;
    jet::Status status;
    while ((*cursor)->Next(&row, &status)) {
      std::string rest;
      for (size_t i = 1; i < row.values.size(); ++i) {
        rest += std::string(row.values[i].text()) +
                std::to_string(row.values[i].real() + row.values[i].integer()) + "|";
      }
      const int64_t first = row.values[0].integer();
      if (name == "Events") events[first] = rest;
      state[name].insert(name == "Events"       ? rest
                         : name == "EventDates" ? events[first] + "@" + rest
                                                : std::to_string(row.values[0].real()) + rest);
    }
  }
  return state;
}

class UpdateCrashTest : public ::testing::TestWithParam<jet::JetVersion> {};

TEST_P(UpdateCrashTest, KilledAtAnyWriteALaterRunGivesTheUninterruptedState) {
  tessaly::testing::TempFolder folder;
  errors::testing::FakeReporterEnvironment environment(folder.path().string());
  errors::ScopedReporterEnvironment scope(environment);
  tessaly::testing::SharedFileCopy original("fixtures", "tessdata-2009.mdb");
  const bool access97 = GetParam() == jet::JetVersion::kJet3;
  const fs::path start = access97 ? original.dir() / "access97.mdb" : original.path();
  if (access97) {
    ASSERT_EQ(tessaly::testing::MakeAccess97Calendar(original.path(), start), "");
  }
  const fs::path work = original.dir() / "work.mdb";
  fs::copy_file(start, work);
  std::string last;
  ASSERT_EQ(RunChild(work, 0, &last), 0);
  const uint64_t writes = std::stoull(last);
  const State expected = ReadState(work);

  // Killed at each write, and then, for the first log of each kind that a
  // kill leaves (complete, and part copied into the file), the recovery
  // killed at each of its writes before a full run.
  std::set<bool> recoveries_killed;
  for (uint64_t stop_at = 1; stop_at <= writes; ++stop_at) {
    fs::remove(work);
    fs::copy_file(start, work);
    ASSERT_EQ(RunChild(work, stop_at, &last), kKilled);
    const std::string where = "killed at write " + std::to_string(stop_at) + " in " + last;
    auto log =
        jet::Wal::Read(jet::FileSystem::Default(), work.string() + "-wal", access97 ? 2048 : 4096);
    ASSERT_TRUE(log.ok());
    std::vector<uint64_t> recovery_stops = {0};
    if (log->state == jet::WalState::kValid &&
        recoveries_killed.insert(log->checkpoint_started).second) {
      CopyOver(work, original.dir() / "left.mdb");
      CopyOver(work.string() + "-wal", original.dir() / "left.mdb-wal");
      ASSERT_EQ(RunChild(work, 0, &last, true), 0);
      for (uint64_t r = 1; r <= std::stoull(last); ++r) recovery_stops.push_back(r);
    }
    for (uint64_t r : recovery_stops) {
      std::string here = where;
      if (r > 0) {
        CopyOver(original.dir() / "left.mdb", work);
        CopyOver(original.dir() / "left.mdb-wal", work.string() + "-wal");
        ASSERT_EQ(RunChild(work, r, &last, true), kKilled) << where;
        here += ", then the recovery at write " + std::to_string(r);
      }
      (void)ReadState(work);
      for (const char* table : {"Dates", "Events", "EventDates"}) {
        if (!tessaly::testing::kLinuxOracles) break;
        EXPECT_EQ(tessaly::testing::RunProcess({"mdb-json", work.string(), table}).exit_code, 0)
            << here;
      }
      FinishView view;
      Update(view, work.string());
      ASSERT_TRUE(view.finished) << here;
      EXPECT_TRUE(ReadState(work) == expected) << here;
    }
  }
  EXPECT_EQ(recoveries_killed.size(), 2u);
  std::cout << writes << " writes in a run\n";
}

INSTANTIATE_TEST_SUITE_P(Formats, UpdateCrashTest,
                         ::testing::Values(jet::JetVersion::kJet4, jet::JetVersion::kJet3),
                         [](const auto& info) {
                           return info.param == jet::JetVersion::kJet3 ? "Access97" : "Access2000";
                         });

}  // namespace
}  // namespace wizard
