// Runs the built jetdb and checks what a user or script relies on: exit
// codes (0 ok, 1 failure, 2 bad usage, 3 saved but not finished), errors
// on standard error, help on
// every command, and the output of each command on a calendar fixture.
// Import is checked by copying tables between fixtures and reading the copy
// back with export, check and the independent index checker.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "jet/database.h"
#include "support/files.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using tessaly::testing::FileBytes;
using tessaly::testing::ProcessResult;
using tessaly::testing::RunProcess;
using tessaly::testing::TempFolder;

const std::string kJetdb = std::string(TESSALY_BIN_DIR) + "/jetdb";

// Each test works on its own copy of a calendar fixture.
class FixtureCopy {
 public:
  explicit FixtureCopy(const std::string& name) : copy_("fixtures", name) {}
  std::string path() const { return copy_.path().string(); }
  fs::path dir() const { return copy_.dir(); }

 private:
  tessaly::testing::SharedFileCopy copy_;
};

ProcessResult Jetdb(std::vector<std::string> args) {
  args.insert(args.begin(), kJetdb);
  ProcessResult result = RunProcess(args);
  EXPECT_EQ(result.error, "") << "jetdb did not run to completion (built? " << kJetdb << ")";
  return result;
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  int exit_code;
  const char* in_stdout;  // expected substring, or ""
};

class UsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageTest, ExitCodeAndOutput) {
  const UsageCase& c = GetParam();
  const ProcessResult result = Jetdb(c.args);
  EXPECT_EQ(result.exit_code, c.exit_code) << "stderr: " << result.err;
  EXPECT_NE(result.out.find(c.in_stdout), std::string::npos) << "stdout: " << result.out;
  if (c.exit_code != 0) {
    EXPECT_FALSE(result.err.empty()) << "a failure must say why on stderr";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, UsageTest,
    ::testing::Values(
        UsageCase{"NoArguments", {}, 2, ""},
        UsageCase{"UnknownCommand", {"frobnicate", "x.mdb"}, 2, ""},
        UsageCase{"Help", {"--help"}, 0, "export"},
        UsageCase{"TablesHelp", {"tables", "--help"}, 0, "FILE"},
        UsageCase{"SchemaHelp", {"schema", "--help"}, 0, "TABLE"},
        UsageCase{"ExportHelp", {"export", "--help"}, 0, "--format"},
        UsageCase{"CheckHelp", {"check", "--help"}, 0, "FILE"},
        UsageCase{"ImportHelp", {"import", "--help"}, 0, "INPUT"},
        UsageCase{"ImportWithoutTable", {"import", "x.mdb"}, 2, ""},
        UsageCase{"ImportUnknownFormat", {"import", "x.mdb", "T", "--format", "xml"}, 2, ""},
        UsageCase{"ImportMissingInput",
                  {"import", "/nonexistent/none.mdb", "T", "/nonexistent/in"},
                  1,
                  ""},
        UsageCase{"TablesWithoutFile", {"tables"}, 2, ""},
        UsageCase{"ExportWithoutTable", {"export", "x.mdb"}, 2, ""},
        UsageCase{"ExportUnknownFormat", {"export", "x.mdb", "T", "--format", "xml"}, 2, ""},
        UsageCase{"TooManyArguments", {"tables", "a.mdb", "b.mdb"}, 2, ""},
        UsageCase{"MissingFile", {"tables", "/nonexistent/none.mdb"}, 1, ""},
        UsageCase{"MissingFileExport", {"export", "/nonexistent/none.mdb", "Events"}, 1, ""},
        UsageCase{"MissingFileCheck", {"check", "/nonexistent/none.mdb"}, 1, ""}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST(JetdbTest, NotAnAccessFileFails) {
  const TempFolder folder("jetdb_cli_test");
  const fs::path path = folder.path() / "text";
  {
    std::ofstream text(path);
    text << "this is not a database\n";
  }
  const ProcessResult result = Jetdb({"tables", path.string()});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find(path.string()), std::string::npos)
      << "the error names the file: " << result.err;
  EXPECT_EQ(result.out, "");
}

#ifndef _WIN32
// A fifo would wait for a writer at its other end: every command refuses it
// at once instead.
TEST(JetdbTest, AFifoNamedLikeADatabaseIsRefusedAtOnce) {
  const TempFolder folder("jetdb_cli_test");
  const fs::path path = folder.path() / "fifo";
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"check", path.string()},
                                               {"tables", path.string()},
                                               {"export", path.string(), "Events"},
                                               {"import", path.string(), "Events", "/dev/null"}}) {
    const ProcessResult result = Jetdb(args);
    EXPECT_EQ(result.exit_code, 1) << args[0];
    EXPECT_NE(result.err.find("not a regular file"), std::string::npos)
        << args[0] << ": " << result.err;
  }
}
#endif

TEST(JetdbTest, TablesListsUserTablesOnly) {
  const FixtureCopy db("tessdata-blank.mdb");
  const ProcessResult result = Jetdb({"tables", db.path()});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "Dates\nEvents\nEventDates\n");
}

TEST(JetdbTest, ExportUnknownTableFails) {
  const FixtureCopy db("tessdata-blank.mdb");
  const ProcessResult result = Jetdb({"export", db.path(), "NoSuchTable"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("NoSuchTable"), std::string::npos) << result.err;
}

TEST(JetdbTest, ExportCsvHasHeaderAndOneLinePerRow) {
  const FixtureCopy db("tessdata-2009.mdb");
  const ProcessResult result = Jetdb({"export", db.path(), "eventdates", "--format", "csv"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out.substr(0, result.out.find('\n')), "EventId,EventDate");
  size_t lines = 0;
  for (const char c : result.out) lines += c == '\n';
  EXPECT_EQ(lines, 1 + 141u) << "header plus the 141 links of tessdata-2009.mdb";
}

TEST(JetdbTest, ExportJsonLinesOfEmptyTableIsEmpty) {
  const FixtureCopy db("tessdata-blank.mdb");
  const ProcessResult result = Jetdb({"export", db.path(), "Events"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "");
}

TEST(JetdbTest, SchemaShowsColumnsAndIndexes) {
  const FixtureCopy db("tessdata-2009.mdb");
  const ProcessResult result = Jetdb({"schema", db.path(), "Events"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  for (const char* expected :
       {"Table Events", "EventID", "EventName", "255", "Memo", "NOT NULL", "Indexes:"}) {
    EXPECT_NE(result.out.find(expected), std::string::npos) << expected << " in\n" << result.out;
  }
  EXPECT_EQ(result.out.find("Table Dates"), std::string::npos) << "only the table asked for";
}

// Overwrites `bytes.size()` bytes of the file at `offset`.
void Patch(const std::string& path, std::streamoff offset, const std::string& bytes) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(file.is_open()) << path;
  file.seekp(offset);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << "cannot patch " << path;
}

TEST(JetdbTest, CheckReportsWrongRowCount) {
  const FixtureCopy db("tessdata-2009.mdb");
  uint32_t tdef_page = 0;
  {
    auto opened = jet::Database::Open(db.path());
    ASSERT_TRUE(opened.ok()) << opened.status().ToString();
    auto table = (*opened)->GetTable("Events");
    ASSERT_TRUE(table.ok()) << table.status().ToString();
    ASSERT_EQ(table->row_count, 25u);
    tdef_page = table->tdef_page;
  }
  // Jet 4 keeps the live row count at offset 16 of the table definition.
  Patch(db.path(), static_cast<std::streamoff>(tdef_page) * 4096 + 16,
        std::string("\x1a\0\0\0", 4));
  const ProcessResult result = Jetdb({"check", db.path()});
  EXPECT_EQ(result.exit_code, 1) << result.out << result.err;
  EXPECT_NE(result.out.find("Events"), std::string::npos) << "the problem names the table:\n"
                                                          << result.out;
  EXPECT_NE(result.err.find("1 problem found"), std::string::npos) << result.err;
}

TEST(JetdbTest, TruncatedFileFailsWithoutOutput) {
  const FixtureCopy db("tessdata-2009.mdb");
  fs::resize_file(db.path(), 4096 + 100);  // the header page and a scrap of the next
  const ProcessResult result = Jetdb({"export", db.path(), "Events"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(db.path()), std::string::npos) << result.err;
}

TEST(JetdbTest, CheckPassesOnSoundFixture) {
  const FixtureCopy db("tessdata-2009.mdb");
  const ProcessResult result = Jetdb({"check", db.path()});
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(JetdbTest, CheckNotesPagesNothingRefersToWithoutFailing) {
  // Access left 693 such pages in this file; they waste room, nothing more.
  const tessaly::testing::SharedFileCopy db("corpus", "testV2000.mdb");
  const ProcessResult result = Jetdb({"check", db.path().string()});
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_EQ(result.out.rfind("No problems found.\nNote: 693 pages are marked used", 0), 0u)
      << result.out;
}

void ExpectPassesJetcheck(const std::string& path) {
  const tessaly::testing::JetcheckResult check = tessaly::testing::RunJetcheck(path);
  if (check.java_missing) GTEST_SKIP() << check.error;
  EXPECT_TRUE(check.passed()) << check.output << check.error;
}

TEST(JetcheckTest, PassesOnSoundFixture) {
  const FixtureCopy db("tessdata-textindex.mdb");
  ExpectPassesJetcheck(db.path());
}

class ImportCopyTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ImportCopyTest, ExportPipedIntoImportCopiesEveryTable) {
  const std::string format = GetParam();
  const FixtureCopy source("tessdata-2009.mdb");
  const FixtureCopy target("tessdata-blank.mdb");
  for (const char* table : {"Events", "Dates", "EventDates"}) {
    // export | import, through a file.
    const ProcessResult exported = Jetdb({"export", source.path(), table, "--format", format});
    ASSERT_EQ(exported.exit_code, 0) << table << ": " << exported.err;
    const std::string between = target.path() + "." + table;
    std::ofstream(between, std::ios::binary) << exported.out;
    const ProcessResult copied =
        RunProcess({kJetdb, "import", target.path(), table, "--format", format}, between);
    ASSERT_EQ(copied.exit_code, 0) << table << ": " << copied.err;
    const ProcessResult original = Jetdb({"export", source.path(), table});
    const ProcessResult copy = Jetdb({"export", target.path(), table});
    ASSERT_EQ(copy.exit_code, 0) << copy.err;
    EXPECT_EQ(copy.out, original.out) << table;
  }
  const ProcessResult check = Jetdb({"check", target.path()});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  ExpectPassesJetcheck(target.path());
}

INSTANTIATE_TEST_SUITE_P(Formats, ImportCopyTest, ::testing::Values("jsonl", "csv"));

TEST(ImportTest, AbsentOrNullAutoNumberIsHandedOut) {
  const FixtureCopy db("tessdata-blank.mdb");
  const std::string input = db.dir().string() + "/rows.jsonl";
  std::ofstream(input)
      << "{\"EventName\":\"A\",\"AllDayEvent\":true,\"Recurring\":false}\n"
      << "{\"EventID\":null,\"EventName\":\"B\",\"AllDayEvent\":false,\"Recurring\":false}\n";
  const ProcessResult imported = Jetdb({"import", db.path(), "Events", input});
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  const ProcessResult rows = Jetdb({"export", db.path(), "Events", "--format", "csv"});
  EXPECT_NE(rows.out.find("\n1,A,true"), std::string::npos) << rows.out;
  EXPECT_NE(rows.out.find("\n2,B,false"), std::string::npos) << rows.out;
}

// Access 97: rows go into the file's code page. A character it lacks fails
// the import naming the column and the character, and leaves the file as it
// was; the same rows without it are imported and read back.
TEST(ImportTest, Jet3TextOutsideTheCodePageIsRefusedWholeFileUnchanged) {
  const tessaly::testing::SharedFileCopy db("corpus", "testV1997.mdb");
  const std::string path = db.path().string();
  const std::string before = FileBytes(path);
  const std::string input = db.dir().string() + "/rows.jsonl";
  std::ofstream(input) << "{\"A\":\"caf\u00e9\",\"I\":true}\n"
                       << "{\"A\":\"Pr\u0101ga\",\"I\":true}\n";
  const ProcessResult refused = Jetdb({"import", path, "Table1", input});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("line 2: table Table1, column A: the character U+0101"),
            std::string::npos)
      << refused.err;
  EXPECT_TRUE(FileBytes(path) == before) << "the file changed";
  std::ofstream(input, std::ios::trunc) << "{\"A\":\"caf\u00e9\",\"I\":true}\n"
                                        << "{\"A\":\"\u20ac 5\",\"I\":false}\n";
  const ProcessResult imported = Jetdb({"import", path, "Table1", input});
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  const ProcessResult rows = Jetdb({"export", path, "Table1", "--format", "csv"});
  EXPECT_NE(rows.out.find("\ncaf\xC3\xA9,"), std::string::npos) << rows.out;
  EXPECT_NE(rows.out.find("\n\xE2\x82\xAC 5,"), std::string::npos) << rows.out;
  EXPECT_EQ(Jetdb({"check", path}).exit_code, 0);
}

struct BadRowCase {
  const char* name;
  const char* rows;  // three Events rows, the second one refused
  const char* in_stderr;
};

class ImportBadRowTest : public ::testing::TestWithParam<BadRowCase> {};

TEST_P(ImportBadRowTest, LeavesTheFileByteIdentical) {
  const FixtureCopy db("tessdata-2009.mdb");
  const std::string before = FileBytes(db.path());
  const std::string input = db.dir().string() + "/rows.jsonl";
  std::ofstream(input) << GetParam().rows;
  const ProcessResult result = Jetdb({"import", db.path(), "Events", input});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("rows.jsonl: line 2: "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(GetParam().in_stderr), std::string::npos) << result.err;
  EXPECT_TRUE(FileBytes(db.path()) == before) << "the file changed";
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(db.dir())) ++files;
  EXPECT_EQ(files, 2u) << "only the database and the input remain";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ImportBadRowTest,
    ::testing::Values(BadRowCase{"MalformedValue",
                                 "{\"EventName\":\"a\"}\n{\"EventName\":\"b\",\"StartTime\":\"2010-"
                                 "13-01\"}\n{\"EventName\":\"c\"}\n",
                                 "table Events, column StartTime (DateTime): \"2010-13-01\""},
                      BadRowCase{"DuplicateKey",
                                 "{\"EventID\":900,\"EventName\":\"a\"}\n{\"EventID\":900,"
                                 "\"EventName\":\"b\"}\n{\"EventName\":\"c\"}\n",
                                 "index PrimaryKey: EventID = 900"}),
    [](const ::testing::TestParamInfo<BadRowCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// jetdb create: a new database (Access 2000, or Access 97) with the
// calendar's tables from the shipped schema script, read back by the schema
// command; an existing file and a bad
// script leave nothing behind.
TEST(CreateTest, MakesTheCalendarFromItsScriptAndRefusesToOverwrite) {
  FixtureCopy scratch("tessdata-blank.mdb");
  const std::string script = std::string(TESSALY_SOURCE_DIR) + "/data/calendar-schema.sql";
  const std::string made = (scratch.dir() / "new.mdb").string();
  ProcessResult result = Jetdb({"create", made, script});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(Jetdb({"schema", made}).out, Jetdb({"schema", scratch.path()}).out);
  EXPECT_EQ(Jetdb({"check", made}).exit_code, 0);
  const std::string made97 = (scratch.dir() / "new97.mdb").string();
  result = Jetdb({"create", "--format", "jet3", made97, script});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(Jetdb({"schema", made97}).out, Jetdb({"schema", scratch.path()}).out);
  EXPECT_EQ(Jetdb({"check", made97}).exit_code, 0);
  EXPECT_EQ(FileBytes(made97).substr(0x14, 1), std::string(1, '\0')) << "an Access 97 header";

  EXPECT_EQ(Jetdb({"create", scratch.path(), script}).exit_code, 1) << "an existing file";
  const std::string bad_script = (scratch.dir() / "bad.sql").string();
  std::ofstream(bad_script) << "CREATE TABLE T (A LONG);\nCREATE TABLE U (B NOSUCHTYPE);\n";
  const std::string not_made = (scratch.dir() / "not-made.mdb").string();
  result = Jetdb({"create", not_made, bad_script});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("NOSUCHTYPE"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(not_made)) << "a failed script leaves no file";
}

}  // namespace

#ifdef TESSALY_FAULT_INJECTOR
size_t EventCount(const std::string& path) {
  auto db = jet::Database::Open(path);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  if (!db.ok()) return 0;
  auto table = (*db)->GetTable("Events");
  auto cursor = (*db)->Scan(*table);
  jet::Row row;
  jet::Status s;
  size_t rows = 0;
  while ((*cursor)->Next(&row, &s)) ++rows;
  return rows;
}

// An import whose writes fail (an I/O error once, or a disk that fills and
// stays full) at each of its write, truncate, sync and allocation calls
// exits 0 with every row, 3 with every row saved for the next open to
// finish, or 1 with none, so that the natural retry of a failure adds the
// rows exactly once.
struct FaultKind {
  const char* name;
  const char* mode;
  const char* error;  // errno
  const char* ops;    // the calls counted
};

class ImportFaultTest : public ::testing::TestWithParam<FaultKind> {};

TEST_P(ImportFaultTest, AFailedImportRetriedAddsItsRowsOnce) {
  const FixtureCopy original("tessdata-2009.mdb");
  const size_t before = EventCount(original.path());
  const std::string input = original.dir().string() + "/rows.jsonl";
  {
    std::ofstream rows(input);
    for (int i = 0; i < 400; ++i) {
      rows << "{\"EventName\":\"Imported " << i << "\",\"AllDayEvent\":true,\"Notes\":\""
           << std::string(static_cast<size_t>(i % 7) * 300, 'n') << "\"}\n";
    }
  }
  const std::string work = original.dir().string() + "/work.mdb";
  auto import = [&](const std::vector<std::string>& faults) {
    std::vector<std::string> argv = {"env", "LD_PRELOAD=" TESSALY_FAULT_INJECTOR,
                                     std::string("F_OPS=") + GetParam().ops};
    argv.insert(argv.end(), faults.begin(), faults.end());
    argv.insert(argv.end(), {kJetdb, "import", work, "Events", input});
    return RunProcess(argv);
  };
  fs::copy_file(original.path(), work);
  const ProcessResult counted = import({"F_COUNT=1"});
  ASSERT_EQ(counted.exit_code, 0) << counted.err;
  const int calls = std::stoi(counted.err.substr(counted.err.find("fault-calls=") + 12));
  ASSERT_GT(calls, 10);
  std::map<int, int> exits;
  for (int at = 1; at <= calls; ++at) {
    const std::string where = std::string(GetParam().mode) + " at call " + std::to_string(at);
    fs::remove(work);
    fs::remove(work + "-wal");
    fs::copy_file(original.path(), work);
    const ProcessResult failed =
        import({std::string("F_MODE=") + GetParam().mode, "F_AT=" + std::to_string(at),
                std::string("F_ERRNO=") + GetParam().error});
    ++exits[failed.exit_code];
    ASSERT_TRUE(failed.exit_code == 0 || failed.exit_code == 1 || failed.exit_code == 3)
        << where << ": " << failed.err;
    // An interrupted call is made again.
    if (GetParam().error == std::string("4")) {
      EXPECT_EQ(failed.exit_code, 0) << where << ": " << failed.err;
    }
    if (failed.exit_code == 1) {
      EXPECT_EQ(EventCount(work), before) << where << ": " << failed.err;
      const ProcessResult retried = import({});
      EXPECT_EQ(retried.exit_code, 0) << where << ": " << retried.err;
    }
    EXPECT_EQ(EventCount(work), before + 400) << where << ": " << failed.err;
    EXPECT_FALSE(fs::exists(work + "-wal")) << where;
  }
  if (GetParam().error != std::string("4")) {
    EXPECT_GT(exits[1], 0);
    EXPECT_GT(exits[3], 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, ImportFaultTest,
                         ::testing::Values(FaultKind{"IoErrorOnce", "err", "5", "wtsa"},
                                           FaultKind{"DiskFull", "errall", "28", "wtsa"},
                                           FaultKind{"Interrupted", "err", "4", "wtsao"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A device that keeps writing nothing, without an error: the write is given
// up (exit 1), not tried for ever.
TEST(ImportTest, AWriteThatKeepsWritingNothingFails) {
  const FixtureCopy db("tessdata-2009.mdb");
  const std::string input = db.dir().string() + "/rows.jsonl";
  std::ofstream(input) << "{\"EventName\":\"A\",\"AllDayEvent\":true}\n";
  const ProcessResult result =
      RunProcess({"env", "LD_PRELOAD=" TESSALY_FAULT_INJECTOR, "F_MODE=zeroall", "F_AT=2", kJetdb,
                  "import", db.path(), "Events", input});
  EXPECT_EQ(result.exit_code, 1) << result.err;
  EXPECT_NE(result.err.find("wrote nothing"), std::string::npos) << result.err;
}
#endif
