// tessaly-update-cli as a user runs it. --new-calendar: the file has the
// blank fixture's tables (by mdbtools and by our engine), updates to the
// fixture's rows and then passes both checkers; a refusal leaves no file
// behind. Paths with umlauts, CJK characters and a character outside the
// BMP, for the calendar and for the program's own folder (error.log in the
// system's 8-bit character set); the command line's usage errors.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/charset.h"
#include "platform/console.h"
#include "support/fake_reporter_environment.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace {

using tessaly::testing::RunProcess;

const std::string kJetdb = tessaly::testing::BuiltProgram("jetdb");

class NewCalendarTest : public ::testing::Test {  // the program gets a folder of its own
 protected:
  NewCalendarTest() {
    std::filesystem::copy_file(tessaly::testing::BuiltProgram("tessaly-update-cli"), cli_);
  }
  std::string Path(const std::string& name) const { return (folder_.path() / name).string(); }
  size_t FileCount() const {
    return std::distance(std::filesystem::directory_iterator(folder_.path()), {});
  }
  tessaly::testing::TempFolder folder_;
  const std::string cli_ =
      Path(std::filesystem::path(tessaly::testing::BuiltProgram("tessaly-update-cli"))
               .filename()
               .string());
};

std::string Out(const std::vector<std::string>& argv) { return RunProcess(argv).out; }

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif
// Folder names as parishes have them: umlauts, CJK, a calendar emoji
// (outside the BMP: a surrogate pair in UTF-16).
const std::vector<std::string> kUnicodeNames = {"Pfarrei J\xC3\xBCrgen",
                                                "\xE6\x95\x99\xE4\xBC\x9A \xE6\x97\xA5\xE6\x9B\x86",
                                                "Kalender \xF0\x9F\x93\x85"};

// A UTF-8 path as the C++ library takes it on every system.
std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

TEST_F(NewCalendarTest, IsTheBlankCalendarAndUpdatesLikeIt) {
  const std::string made = Path("tessdata.mdb"), blank = Path("blank.mdb");
  std::filesystem::copy_file(tessaly::testing::SharedPath("fixtures", "tessdata-blank.mdb"), blank);
  ASSERT_EQ(Out({cli_, "--new-calendar", made}), made + ": new empty calendar\n");
  if (tessaly::testing::kLinuxOracles) {
    EXPECT_EQ(Out({"mdb-schema", made}), Out({"mdb-schema", blank}));
  }
  EXPECT_EQ(Out({kJetdb, "schema", made}),
            Out({kJetdb, "schema", blank}));  // keys and autonumber too
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
      {{"--new-calendar", Path("none/t.mdb")},
       "calendar " + Path("none/t.mdb") + ": there is no folder"},
      {{"--new-calendar", Path("a.mdb"), existing}, "excludes"},
      {{}, "DATABASE.mdb or --new-calendar is required"}};
  for (auto [args, message] : cases) {
    args.insert(args.begin(), cli_);
    const auto run = RunProcess(args);
    EXPECT_TRUE(run.exit_code != 0 && run.err.find(message) != std::string::npos) << run.err;
  }
  EXPECT_EQ(RunProcess({cli_, "--new-calendar", existing}).exit_code, 1);
  EXPECT_EQ(FileCount(), 2u);
  EXPECT_EQ(tessaly::testing::FileBytes(existing), "not made by us");
}

// What a killed --new-calendar leaves (the temporary calendar and its log)
// goes at the next run on the same name; other files stay.
TEST_F(NewCalendarTest, ClearsWhatAKilledRunLeft) {
  const std::string made = Path("tessdata.mdb");
  std::filesystem::copy_file(tessaly::testing::SharedPath("fixtures", "tessdata-blank.mdb"),
                             made + ".new-1234");
  // As the run made it: writable (Windows removes no read-only file).
  std::filesystem::permissions(made + ".new-1234", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  std::ofstream(made + ".new-1234-wal", std::ios::binary) << "";
  std::ofstream(made + ".new-99-wal", std::ios::binary) << "";
  std::ofstream(made + ".new-notes", std::ios::binary) << "mine";
  ASSERT_EQ(RunProcess({cli_, "--new-calendar", made}).exit_code, 0);
  EXPECT_FALSE(std::filesystem::exists(made + ".new-1234"));
  EXPECT_FALSE(std::filesystem::exists(made + ".new-1234-wal"));
  EXPECT_FALSE(std::filesystem::exists(made + ".new-99-wal"));
  EXPECT_EQ(tessaly::testing::FileBytes(made + ".new-notes"), "mine");
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
  const std::string updated = tessaly::testing::FileBytes(calendar);
  // The last calls: the file's sync, the log emptied and synced, the folder.
  const int calls = std::stoi(counted.err.substr(counted.err.find("fault-calls=") + 12));
  const auto saved = run({"F_MODE=err", "F_AT=" + std::to_string(calls - 3)});
  EXPECT_EQ(saved.exit_code, 3) << saved.err;
  EXPECT_NE(saved.err.find("was saved but not finished"), std::string::npos) << saved.err;
  EXPECT_EQ(Out({kJetdb, "check", calendar}), "No problems found.\n");
  EXPECT_TRUE(tessaly::testing::FileBytes(calendar) == updated);
  const auto failed = run({"F_MODE=err", "F_AT=1"});
  EXPECT_EQ(failed.exit_code, 1) << failed.err;
  EXPECT_TRUE(
      tessaly::testing::FileBytes(calendar) ==
      tessaly::testing::FileBytes(tessaly::testing::SharedPath("fixtures", "tessdata-2009.mdb")));
  EXPECT_FALSE(std::filesystem::exists(calendar + "-wal"));
}
#endif

TEST_F(NewCalendarTest, UnicodePathsForTheCalendarAndTheProgram) {
  for (const std::string& name : kUnicodeNames) {
    SCOPED_TRACE(name);
    const std::string folder = folder_.path().string() + kSeparator + name;
    std::filesystem::create_directory(FsPath(folder));
    const std::string calendar = folder + kSeparator + "tessdata.mdb";
    ASSERT_EQ(Out({cli_, "--new-calendar", calendar}), calendar + ": new empty calendar\n");
    const auto run = RunProcess({cli_, calendar});
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(calendar + ": Update completed!"), std::string::npos) << run.out;
    EXPECT_EQ(Out({kJetdb, "check", calendar}).rfind("No problems found.", 0), 0u);
    const auto refused = RunProcess({cli_, "--new-calendar", folder + "x" + kSeparator + "t.mdb"});
    EXPECT_NE(refused.err.find("there is no folder " + folder + "x"), std::string::npos)
        << refused.err;

    // The program in a folder of that name logs there, in the system's
    // character set, with CR LF.
    const std::string program_folder = folder + kSeparator + "Programm";
    std::filesystem::create_directory(FsPath(program_folder));
    const std::string program = program_folder + kSeparator + FsPath(cli_).filename().string();
    std::filesystem::copy_file(FsPath(cli_), FsPath(program));
    const std::string missing = folder + kSeparator + "fehlt.mdb";
    EXPECT_EQ(RunProcess({program, missing}).exit_code, 1);
    const std::string log = tessaly::testing::FileBytes(FsPath(program_folder) / "error.log");
    EXPECT_NE(log.find("Error Description: Could not find file '" +
                       platform::ToSystemCharset(missing) + "'.\r\n"),
              std::string::npos)
        << log;
  }
}

TEST_F(NewCalendarTest, UsageErrorsExitTwoAndHelpZero) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--no-such-option"}, {"--new-calendar"}}) {
    std::vector<std::string> argv{cli_};
    argv.insert(argv.end(), args.begin(), args.end());
    EXPECT_EQ(RunProcess(argv).exit_code, 2) << (args.empty() ? "" : args[0]);
  }
  const auto help = RunProcess({cli_, "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--new-calendar FILE"), std::string::npos) << help.out;
#ifdef _WIN32
  EXPECT_EQ(RunProcess({cli_, "/?"}).out, help.out);
  EXPECT_EQ(RunProcess({kJetdb, "/?"}).out, RunProcess({kJetdb, "--help"}).out);
#endif
  EXPECT_EQ(RunProcess({kJetdb, "--no-such-option"}).exit_code, 2);
  const std::string line_end(platform::kLineEnd);
  EXPECT_EQ(RunProcess({cli_, "--version"}).raw_out, "tessaly-update-cli 1.00.0011" + line_end);
  EXPECT_EQ(RunProcess({kJetdb, "--version"}).raw_out, "jetdb 1.00.0011" + line_end);
  const std::string blank = tessaly::testing::SharedPath("fixtures", "tessdata-blank.mdb").string();
  EXPECT_EQ(RunProcess({kJetdb, "tables", blank}).raw_out,  // line ends as written
            "Dates" + line_end + "Events" + line_end + "EventDates" + line_end);
}

}  // namespace
