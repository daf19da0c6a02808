// tessaly-update-cli --new-calendar as a user runs it: the file has the blank
// fixture's tables (by mdbtools and by our engine), updates to the fixture's
// rows and then passes both checkers; a refusal leaves no file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "errors/fake_reporter_environment.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace {

using tessaly::testing::RunProcess;

const std::string kJetdb = tessaly::testing::BuiltProgram("jetdb");

class NewCalendarTest : public ::testing::Test {  // the program gets a folder of its own
 protected:
  NewCalendarTest() { std::filesystem::copy_file(tessaly::testing::BuiltProgram("tessaly-update-cli"), cli_); }
  std::string Path(const std::string& name) const { return (folder_.path() / name).string(); }
  size_t FileCount() const { return std::distance(std::filesystem::directory_iterator(folder_.path()), {}); }
  errors::testing::TempFolder folder_;
  const std::string cli_ =
      Path(std::filesystem::path(tessaly::testing::BuiltProgram("tessaly-update-cli")).filename().string());
};

std::string Out(const std::vector<std::string>& argv) { return RunProcess(argv).out; }

TEST_F(NewCalendarTest, IsTheBlankCalendarAndUpdatesLikeIt) {
  const std::string made = Path("tessdata.mdb"), blank = Path("blank.mdb");
  std::filesystem::copy_file(tessaly::testing::SharedPath("fixtures", "tessdata-blank.mdb"), blank);
  ASSERT_EQ(Out({cli_, "--new-calendar", made}), made + ": new empty calendar\n");
  if (tessaly::testing::kLinuxOracles) {
    EXPECT_EQ(Out({"mdb-schema", made}), Out({"mdb-schema", blank}));
  }
  EXPECT_EQ(Out({kJetdb, "schema", made}), Out({kJetdb, "schema", blank}));  // keys and autonumber too
  ASSERT_EQ(RunProcess({cli_, made, blank}).exit_code, 0);
  for (const char* table : {"Dates", "Events", "EventDates"}) {
    auto rows_of = [&](const std::string& file) {
      return tessaly::testing::kLinuxOracles ? Out({"mdb-json", "-T", "%F %T", file, table})
                                             : Out({kJetdb, "export", file, table});
    };
    const std::string rows = rows_of(made);
    EXPECT_EQ(rows, rows_of(blank)) << table;
    EXPECT_GE(std::count(rows.begin(), rows.end(), '\n'), 80) << table;
  }
  EXPECT_EQ(Out({kJetdb, "check", made}), "No problems found.\n");
  auto index = tessaly::testing::RunJetcheck(made);
  EXPECT_TRUE(index.java_missing || index.passed()) << index.output << index.error;
  EXPECT_EQ(FileCount(), 3u);
}

TEST_F(NewCalendarTest, RefusalsLeaveNoFile) {
  const std::string existing = Path("mine.mdb");
  std::ofstream(existing, std::ios::binary) << "not made by us";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--new-calendar", existing}, "calendar " + existing + ": the file already exists"},
      {{"--new-calendar", Path("none/t.mdb")}, "calendar " + Path("none/t.mdb") + ": there is no folder"},
      {{"--new-calendar", Path("a.mdb"), existing}, "excludes"},
      {{}, "DATABASE.mdb or --new-calendar is required"}};
  for (auto [args, message] : cases) {
    args.insert(args.begin(), cli_);
    const auto run = RunProcess(args);
    EXPECT_TRUE(run.exit_code != 0 && run.err.find(message) != std::string::npos) << run.err;
  }
  EXPECT_EQ(RunProcess({cli_, "--new-calendar", existing}).exit_code, 1);
  EXPECT_EQ(FileCount(), 2u);
  EXPECT_EQ(errors::testing::ReadBytes(existing), "not made by us");
}

// What a killed --new-calendar leaves (the temporary calendar and its log)
// goes at the next run on the same name; other files stay.
TEST_F(NewCalendarTest, ClearsWhatAKilledRunLeft) {
  const std::string made = Path("tessdata.mdb");
  std::filesystem::copy_file(tessaly::testing::SharedPath("fixtures", "tessdata-blank.mdb"),
                             made + ".new-1234");
  std::ofstream(made + ".new-1234-wal", std::ios::binary) << "";
  std::ofstream(made + ".new-99-wal", std::ios::binary) << "";
  std::ofstream(made + ".new-notes", std::ios::binary) << "mine";
  ASSERT_EQ(RunProcess({cli_, "--new-calendar", made}).exit_code, 0);
  EXPECT_FALSE(std::filesystem::exists(made + ".new-1234"));
  EXPECT_FALSE(std::filesystem::exists(made + ".new-1234-wal"));
  EXPECT_FALSE(std::filesystem::exists(made + ".new-99-wal"));
  EXPECT_EQ(errors::testing::ReadBytes(made + ".new-notes"), "mine");
}

#ifdef TESSALY_FAULT_INJECTOR
// A close that fails says which it was: exit status 1 when nothing of the
// update was written (an error on the first write), 3 when it was saved and
// the next open finishes it (an error on the last sync of the file).
TEST_F(NewCalendarTest, AFailedCloseTellsNothingWrittenFromSavedForTheNextOpen) {
  const std::string calendar = Path("tessdata.mdb");
  auto run = [&](const std::vector<std::string>& faults) {
    std::filesystem::remove(calendar);
    std::filesystem::copy_file(tessaly::testing::SharedPath("fixtures", "tessdata-2009.mdb"),
                               calendar);
    std::filesystem::permissions(calendar, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    std::vector<std::string> argv = {"env", "LD_PRELOAD=" TESSALY_FAULT_INJECTOR};
    argv.insert(argv.end(), faults.begin(), faults.end());
    argv.insert(argv.end(), {cli_, calendar});
    return RunProcess(argv);
  };
  const auto counted = run({"F_COUNT=1"});
  ASSERT_EQ(counted.exit_code, 0) << counted.err;
  const std::string updated = errors::testing::ReadBytes(calendar);
  // The last calls: the file's sync, the log emptied and synced, the folder.
  const int calls = std::stoi(counted.err.substr(counted.err.find("fault-calls=") + 12));
  const auto saved = run({"F_MODE=err", "F_AT=" + std::to_string(calls - 3)});
  EXPECT_EQ(saved.exit_code, 3) << saved.err;
  EXPECT_NE(saved.err.find("was saved but not finished"), std::string::npos) << saved.err;
  EXPECT_EQ(Out({kJetdb, "check", calendar}), "No problems found.\n");
  EXPECT_TRUE(errors::testing::ReadBytes(calendar) == updated);
  const auto failed = run({"F_MODE=err", "F_AT=1"});
  EXPECT_EQ(failed.exit_code, 1) << failed.err;
  EXPECT_TRUE(errors::testing::ReadBytes(calendar) ==
              errors::testing::ReadBytes(tessaly::testing::SharedPath("fixtures",
                                                                      "tessdata-2009.mdb")));
  EXPECT_FALSE(std::filesystem::exists(calendar + "-wal"));
}
#endif

}  // namespace
