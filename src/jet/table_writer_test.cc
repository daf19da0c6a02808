// The table writer on copies of the calendar fixtures: inserts and updates
// read back by our reader, mdbtools and the independent index checker, and
// every refused change leaving the file as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "jet/database.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using tessaly::testing::SharedFileCopy;
using ::testing::HasSubstr;

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::unique_ptr<Database> OpenForWriting(const std::filesystem::path& path) {
  OpenOptions options;
  options.read_only = false;
  auto db = Database::Open(path.string(), options);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  return db.ok() ? std::move(db).value() : nullptr;
}

size_t ColumnIndex(const TableDef& t, const std::string& name) {
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i].name == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return 0;
}

// Rows of a table as text lines (our own reader), in scan order.
std::vector<std::string> Rows(Database& db, const std::string& table) {
  auto def = db.GetTable(table);
  EXPECT_TRUE(def.ok());
  auto cursor = db.Scan(*def);
  EXPECT_TRUE(cursor.ok());
  std::vector<std::string> lines;
  Row row;
  Status s;
  while ((*cursor)->Next(&row, &s)) {
    std::string line;
    for (const Value& v : row.values) {
      switch (v.kind()) {
        case Value::Kind::kNull: line += "null"; break;
        case Value::Kind::kText:
        case Value::Kind::kBinary: line += std::string(v.text()); break;
        case Value::Kind::kSingle:
        case Value::Kind::kDouble:
        case Value::Kind::kDateTime: line += std::to_string(v.real()); break;
        default: line += std::to_string(v.integer());
      }
      line += "|";
    }
    lines.push_back(line);
  }
  EXPECT_TRUE(s.ok()) << s.ToString();
  return lines;
}

// Our check, mdbtools and the index checker all accept the file.
void ExpectSound(const std::filesystem::path& path) {
  {
    auto db = Database::Open(path.string());
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    auto problems = (*db)->Check();
    ASSERT_TRUE(problems.ok());
    EXPECT_THAT(*problems, ::testing::IsEmpty());
  }
  for (const char* table : {"Dates", "Events", "EventDates"}) {
    auto r = tessaly::testing::RunProcess({"mdb-json", path.string(), table});
    EXPECT_EQ(r.exit_code, 0) << table << ": " << r.err;
  }
  auto check = tessaly::testing::RunJetcheck(path);
  if (check.java_missing) GTEST_SKIP() << "java is missing: " << check.error;
  EXPECT_TRUE(check.passed()) << check.output << check.error;
}

std::string Memo(size_t chars, char32_t salt) {
  std::string s;
  const char* pieces[] = {"Advent ", "é", "ü", "ß", "“quoted”", "–", "日本", " "};
  size_t i = salt;
  while (s.size() < chars) s += pieces[i++ % 8];
  return s;
}

TEST(TableWriterTest, InsertsAndUpdatesReadBackEverywhere) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  std::vector<std::string> expected_events;
  {
    auto db = OpenForWriting(copy.path());
    ASSERT_TRUE(db);
    auto events = db->GetTable("Events");
    ASSERT_TRUE(events.ok());
    const size_t before = Rows(*db, "Events").size();
    std::vector<std::string> memos;
    ASSERT_TRUE(db->Begin().ok());
    for (int i = 0; i < 400; ++i) {
      std::vector<Value> values(events->columns.size());
      memos.push_back(Memo(static_cast<size_t>(i) * 30 % 12001, i));
      values[ColumnIndex(*events, "EventName")] =
          Value::Bytes(Value::Kind::kText, i % 3 ? "Feast " + std::to_string(i) : "Saint Ü " + std::to_string(i));
      values[ColumnIndex(*events, "AllDayEvent")] = Value::Boolean(i % 2 == 0);
      values[ColumnIndex(*events, "StartTime")] = Value::Real(Value::Kind::kDateTime, 40179 + i);
      values[ColumnIndex(*events, "Notes")] = Value::Bytes(Value::Kind::kText, memos.back());
      auto inserted = db->Insert(*events, values);
      ASSERT_TRUE(inserted.ok()) << inserted.status().ToString();
      EXPECT_GT(inserted->autonumber, 0);
    }
    ASSERT_TRUE(db->Commit().ok());
    EXPECT_EQ(Rows(*db, "Events").size(), before + 400);
    expected_events = Rows(*db, "Events");
    ASSERT_TRUE(db->Close().ok());
  }
  ExpectSound(copy.path());
  auto db = Database::Open(copy.path().string());
  ASSERT_TRUE(db.ok());
  EXPECT_EQ(Rows(**db, "Events"), expected_events);
}

}  // namespace
}  // namespace jet
