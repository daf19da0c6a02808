// DDL statements: the calendar's schema script gives the fixture's tables,
// syntax errors name their position, and a failing script leaves nothing.
#include "sql/ddl.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sql/session.h"
#include "support/files.h"
#include "support/run_process.h"
#include "support/shared_copy.h"
#include "support/temp_folder.h"

namespace sql {
namespace {

using tessaly::testing::RunProcess;
using ::testing::HasSubstr;

// The calendar's tables as the program ships them.
std::string CalendarScript() {
  const auto path = std::filesystem::path(TESSALY_SOURCE_DIR) / "data/calendar-schema.sql";
  std::string script = tessaly::testing::FileBytes(path);
  EXPECT_FALSE(script.empty()) << path;
  return script;
}

// A path for a new database, in a folder of its own.
struct TempFile {
  tessaly::testing::TempFolder folder{"ddl_test"};
  std::string path() const { return (folder.path() / "new.mdb").string(); }
};

std::unique_ptr<jet::Database> Create(const std::string& path) {
  auto db = jet::Database::Create(path);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  return std::move(db).value();
}

TEST(DdlTest, TheCalendarScriptGivesTheFixtureTables) {
  TempFile file;
  auto db = Create(file.path());
  Error error;
  size_t failed = 0;
  ASSERT_TRUE(RunDdlScript(*db, CalendarScript(), &error, &failed))
      << failed << ": " << error.description;
  auto links = db->GetTable("EventDates");
  ASSERT_EQ(links->indexes.size(), 2u);
  EXPECT_EQ(links->columns[0].type, jet::ColumnType::kLong);
  ASSERT_TRUE(db->Close().ok());
  if (!tessaly::testing::kLinuxOracles) return;
  tessaly::testing::SharedFileCopy blank("fixtures", "tessdata-blank.mdb");
  const std::string schema = RunProcess({"mdb-schema", file.path()}).out;
  EXPECT_THAT(schema, HasSubstr("[Recurring]\t\t\tBoolean NOT NULL"));
  EXPECT_EQ(schema, RunProcess({"mdb-schema", blank.path().string()}).out);
}

TEST(DdlTest, StatementsBecomeTheEngineDesigns) {
  DdlStatement s;
  Error error;
  ASSERT_TRUE(
      ParseDdl("create unique index ByDay on Dates (DateColor desc, EventCount) "
               "with ignore null;",
               &s, &error))
      << error.description;
  EXPECT_EQ(s.kind, DdlStatement::Kind::kCreateIndex);
  EXPECT_EQ(s.index_table, "Dates");
  EXPECT_TRUE(s.index.unique && s.index.ignore_nulls && !s.index.primary_key);
  ASSERT_EQ(s.index.columns.size(), 2u);
  EXPECT_FALSE(s.index.columns[0].ascending);
  ASSERT_TRUE(ParseDdl(
      "CREATE TABLE t (a DECIMAL(10, 2) NOT NULL, b BINARY, c TEXT, d SHORT UNIQUE)", &s, &error))
      << error.description;
  EXPECT_EQ(s.table.columns[0].precision, 10);
  EXPECT_EQ(s.table.columns[0].scale, 2);
  EXPECT_TRUE(s.table.columns[0].required);
  EXPECT_EQ(s.table.columns[1].length, 255);
  EXPECT_EQ(s.table.columns[2].length, 255);
  EXPECT_EQ(s.table.columns[3].type, jet::ColumnType::kInteger);
  EXPECT_EQ(s.table.indexes[0].name, "d");
  DdlStatement t;
  ASSERT_TRUE(
      ParseDdl("CREATE TABLE [Event Dates] ([Id] INTEGER, d DATE, b BIT NOT NULL, "
               "CONSTRAINT Key PRIMARY KEY (Id, d))",
               &t, &error))
      << error.description;
  EXPECT_EQ(t.table.name, "Event Dates");
  ASSERT_EQ(t.table.indexes.size(), 1u);
  EXPECT_TRUE(t.table.indexes[0].primary_key && t.table.indexes[0].columns.size() == 2);
  EXPECT_EQ(t.table.columns[0].type, jet::ColumnType::kLong);
  EXPECT_EQ(t.table.columns[1].type, jet::ColumnType::kDateTime);
  EXPECT_EQ(t.table.columns[2].type, jet::ColumnType::kBoolean);
}

TEST(DdlTest, ASessionRunsCreateStatements) {
  TempFile file;
  auto db = Create(file.path());
  Session session(*db);
  Outcome outcome;
  Error error;
  ASSERT_TRUE(session.Execute("CREATE TABLE Notes (Id COUNTER PRIMARY KEY, Body TEXT(20) NOT NULL)",
                              &outcome, &error))
      << error.description;
  ASSERT_TRUE(session.Execute("INSERT INTO Notes (Body) VALUES ('first')", &outcome, &error))
      << error.description;
  EXPECT_FALSE(session.Execute("INSERT INTO Notes (Id) VALUES (5)", &outcome, &error));
  EXPECT_THAT(error.description, HasSubstr("'Notes.Body' cannot contain a Null value"));
  EXPECT_FALSE(session.Execute("CREATE INDEX Body ON Nothing (Body)", &outcome, &error));
  EXPECT_EQ(error.kind, ErrorKind::kNoSuchTable);
  ASSERT_TRUE(session.Execute("SELECT * FROM Notes", &outcome, &error));
  EXPECT_EQ(outcome.result.rows.size(), 1u);
}

TEST(DdlTest, SyntaxErrorsNameWhereAndWhat) {
  const std::pair<const char*, const char*> cases[] = {
      {"CREATE TABLE t (a VARCHAR2(5))", "at character 19: expected a column type"},
      {"CREATE TABLE t (a TEXT(x))", "at character 24: expected a length, found 'x'"},
      {"CREATE TABLE t a LONG", "at character 16: expected '('"},
      {"CREATE INDEX i ON t (a) WITH NOTHING", "expected PRIMARY or IGNORE NULL"},
      {"CREATE VIEW v", "expected INDEX, found 'VIEW'"},
      {"CREATE TABLE t (a LONG) extra", "expected the end of the statement, found 'extra'"},
  };
  for (const auto& [text, message] : cases) {
    DdlStatement s;
    Error error;
    EXPECT_FALSE(ParseDdl(text, &s, &error)) << text;
    EXPECT_EQ(error.kind, ErrorKind::kSyntax) << text;
    EXPECT_THAT(error.description, HasSubstr(message)) << text;
  }
}

TEST(DdlTest, AFailingScriptLeavesNothing) {
  TempFile file;
  {
    auto db = Create(file.path());
    Error error;
    size_t failed = 0;
    EXPECT_FALSE(RunDdlScript(*db, "CREATE TABLE a (x LONG); CREATE TABLE b (y TEXT(300))", &error,
                              &failed));
    EXPECT_EQ(failed, 2u);
    EXPECT_THAT(error.description, HasSubstr("table b, column y: length 300"));
    EXPECT_TRUE(RunDdl(*db, "CREATE TABLE a (x LONG)", &error)) << error.description;
    ASSERT_TRUE(db->Close().ok());
  }
  auto reopened = jet::Database::Open(file.path());
  ASSERT_TRUE(reopened.ok());
  EXPECT_THAT(*(*reopened)->UserTableNames(), ::testing::ElementsAre("a"));
}

}  // namespace
}  // namespace sql
