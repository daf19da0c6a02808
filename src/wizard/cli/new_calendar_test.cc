// tessaly-update-cli --new-calendar, run as a user runs it: the new file has
// the blank fixture's tables (by mdbtools and by our engine), passes both
// checkers, and the update on it gives the rows the update gives on the
// fixture; what it refuses leaves no file behind.
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

namespace fs = std::filesystem;
using tessaly::testing::ProcessResult;
using tessaly::testing::RunProcess;

const std::string kJetdb = std::string(TESSALY_BIN_DIR) + "/jetdb";

// The program is copied into the test's folder, which takes its error.log.
class NewCalendarTest : public ::testing::Test {
 protected:
  NewCalendarTest() {
    fs::copy_file(std::string(TESSALY_BIN_DIR) + "/tessaly-update-cli", program_);
  }
  ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), program_);
    return RunProcess(args);
  }
  std::string Path(const std::string& name) const { return (folder_.path() / name).string(); }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  errors::testing::TempFolder folder_;
  const std::string program_ = Path("tessaly-update-cli");
};

void ExpectChecksPass(const std::string& file) {
  const ProcessResult check = RunProcess({kJetdb, "check", file});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  if (auto index = tessaly::testing::RunJetcheck(file); !index.java_missing) {
    EXPECT_TRUE(index.passed()) << index.output << index.error;
  }
}

std::string Rows(const std::string& file) {
  std::string rows;
  for (const char* table : {"Dates", "Events", "EventDates"}) {
    const ProcessResult json = RunProcess({"mdb-json", "-T", "%Y-%m-%d %H:%M:%S", file, table});
    EXPECT_EQ(json.exit_code, 0) << table << ": " << json.err;
    rows += std::string(table) + "\n" + json.out;
  }
  return rows;
}

TEST_F(NewCalendarTest, IsTheBlankCalendarAndUpdatesLikeIt) {
  const std::string created = Path("tessdata.mdb"), blank = Path("blank.mdb");
  fs::copy_file(tessaly::testing::SharedPath("fixtures", "tessdata-blank.mdb"), blank);
  const ProcessResult made = Cli({"--new-calendar", created});
  ASSERT_EQ(made.exit_code, 0) << made.err;
  EXPECT_EQ(made.out, created + ": new empty calendar\n");
  EXPECT_EQ(RunProcess({"mdb-schema", created}).out, RunProcess({"mdb-schema", blank}).out);
  EXPECT_EQ(RunProcess({kJetdb, "schema", created}).out, RunProcess({kJetdb, "schema", blank}).out);
  ExpectChecksPass(created);

  const ProcessResult update = Cli({created, blank});
  ASSERT_EQ(update.exit_code, 0) << update.err;
  const std::string rows = Rows(created);
  EXPECT_EQ(rows, Rows(blank));
  EXPECT_NE(rows.find("\"EventName\":\"Christmas Eve\""), std::string::npos);
  ExpectChecksPass(created);
  EXPECT_EQ(Files(), (std::vector<std::string>{"blank.mdb", "tessaly-update-cli", "tessdata.mdb"}));
}

struct Refusal {
  const char* name;
  std::vector<std::string> args;
  std::string in_stderr;
};

TEST_F(NewCalendarTest, RefusalsLeaveNoFile) {
  const std::string existing = Path("mine.mdb");
  std::ofstream(existing) << "not made by us";
  const Refusal cases[] = {
      {"existing file", {"--new-calendar", existing},
       ": cannot create the calendar " + existing + ": the file already exists"},
      {"missing folder", {"--new-calendar", Path("none/tessdata.mdb")}, "there is no folder " + Path("none")},
      {"with files to update", {"--new-calendar", Path("a.mdb"), existing}, "excludes"},
      {"nothing to do", {}, "DATABASE.mdb or --new-calendar is required"},
  };
  for (const Refusal& c : cases) {
    const ProcessResult run = Cli(c.args);
    EXPECT_NE(run.exit_code, 0) << c.name;
    EXPECT_NE(run.err.find(c.in_stderr), std::string::npos) << c.name << ": " << run.err;
  }
  EXPECT_EQ(Cli({"--new-calendar", existing}).exit_code, 1);
  EXPECT_EQ(Files(), (std::vector<std::string>{"mine.mdb", "tessaly-update-cli"}));
  std::ifstream in(existing);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not made by us");
}

}  // namespace
