// Reading real files: the Access-written corpus and the calendar fixtures.
// Originals are only opened through the engine, which never writes; damaged
// variants are made from in-memory copies.
#include <filesystem>
#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jet/database.h"
#include "support/files.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using tessaly::testing::FileBytes;
using tessaly::testing::SharedPath;

std::string Corpus(const std::string& name) { return SharedPath("corpus", name).string(); }
std::string Fixture(const std::string& name) { return SharedPath("fixtures", name).string(); }

std::unique_ptr<Database> OpenOrDie(const std::string& path) {
  auto db = Database::Open(path);
  EXPECT_TRUE(db.ok()) << path << ": " << db.status().ToString();
  return db.ok() ? std::move(db).value() : nullptr;
}

// Scans a table; returns the number of rows, or -1 after reporting a failure.
int64_t CountRows(Database& db, const TableDef& table) {
  auto cursor = db.Scan(table);
  if (!cursor.ok()) {
    ADD_FAILURE() << table.name << ": " << cursor.status().ToString();
    return -1;
  }
  Row row;
  Status s;
  int64_t n = 0;
  while ((*cursor)->Next(&row, &s)) {
    EXPECT_EQ(row.values.size(), table.columns.size());
    ++n;
  }
  if (!s.ok()) {
    ADD_FAILURE() << table.name << ": " << s.ToString();
    return -1;
  }
  return n;
}

TEST(CorpusTest, FilesExist) {
  ASSERT_GE(tessaly::testing::SharedDatabases().size(), 38u)
      << "shared corpus missing under " << SharedPath("", "");
}

TEST(CorpusTest, EveryTableOfEveryFileScansAndMatchesItsRowCount) {
  for (const std::string& path : tessaly::testing::SharedDatabases()) {
    SCOPED_TRACE(path);
    auto db = OpenOrDie(path);
    if (!db) continue;
    auto names = db->UserTableNames();
    ASSERT_TRUE(names.ok());
    for (const std::string& name : *names) {
      auto table = db->GetTable(name);
      ASSERT_TRUE(table.ok()) << name << ": " << table.status().ToString();
      EXPECT_EQ(CountRows(*db, *table), static_cast<int64_t>(table->row_count)) << name;
    }
    auto problems = db->Check();
    ASSERT_TRUE(problems.ok());
    EXPECT_TRUE(problems->empty()) << (problems->empty() ? "" : problems->front());
  }
}

struct TableCount {
  const char* file;
  const char* table;
  int64_t rows;
};

class KnownTableTest : public ::testing::TestWithParam<TableCount> {};

TEST_P(KnownTableTest, HasItsRows) {
  const TableCount& c = GetParam();
  std::string path =
      std::string(c.file).rfind("tessdata", 0) == 0 ? Fixture(c.file) : Corpus(c.file);
  auto db = OpenOrDie(path);
  ASSERT_TRUE(db);
  auto table = db->GetTable(c.table);
  ASSERT_TRUE(table.ok()) << table.status().ToString();
  EXPECT_EQ(CountRows(*db, *table), c.rows);
}

INSTANTIATE_TEST_SUITE_P(Files, KnownTableTest,
                         ::testing::Values(TableCount{"tessdata-large.mdb", "Events", 12649},
                                           TableCount{"tessdata-large.mdb", "dates", 14681},
                                           TableCount{"tessdata-large.mdb", "EventDates", 15798},
                                           TableCount{"tessdata-blank.mdb", "Events", 0},
                                           TableCount{"overflowTestV2000.mdb", "Table1", 7},
                                           TableCount{"testV1997.mdb", "Table1", 2}));

TEST(CorpusTest, TableNamesInCatalogOrder) {
  auto db = OpenOrDie(Fixture("tessdata-2009.mdb"));
  ASSERT_TRUE(db);
  auto names = db->UserTableNames();
  ASSERT_TRUE(names.ok());
  EXPECT_EQ(*names, (std::vector<std::string>{"Dates", "Events", "EventDates"}));
  EXPECT_EQ(db->GetTable("no such table").status().code(), StatusCode::kNotFound);
  EXPECT_EQ(db->info().version, JetVersion::kJet4);
  EXPECT_EQ(db->info().code_page, 1252);
  EXPECT_FALSE(db->info().has_password);
}

TEST(CorpusTest, CalendarSchema) {
  auto db = OpenOrDie(Fixture("tessdata-2009.mdb"));
  ASSERT_TRUE(db);
  auto events = db->GetTable("events");
  ASSERT_TRUE(events.ok());
  EXPECT_EQ(events->name, "Events");
  std::vector<std::string> names;
  for (const ColumnDef& c : events->columns) names.push_back(c.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"EventID", "EventName", "AllDayEvent", "StartTime", "EndTime",
                                      "EventColor", "EventIcon", "Notes", "Recurring"}));
  const ColumnDef* id = events->FindColumn("eventid");
  ASSERT_NE(id, nullptr);
  EXPECT_TRUE(id->IsLongAutoNumber());
  EXPECT_EQ(events->FindColumn("Notes")->type, ColumnType::kMemo);
  EXPECT_EQ(events->FindColumn("EventName")->length, 510);
  bool has_primary_key = false;
  for (const IndexDef& index : events->indexes) {
    if (index.IsPrimaryKey()) {
      has_primary_key = true;
      ASSERT_EQ(index.columns.size(), 1u);
      EXPECT_EQ(index.columns[0].column_name, "EventID");
    }
  }
  EXPECT_TRUE(has_primary_key);
  EXPECT_GE(events->autonumber_last, events->row_count);
}

TEST(CorpusTest, RequiredComesFromTheDesignProperties) {
  auto db = OpenOrDie(Corpus("fixedTextTestV2000.mdb"));
  ASSERT_TRUE(db);
  auto users = db->GetTable("users");
  ASSERT_TRUE(users.ok());
  for (const ColumnDef& c : users->columns) EXPECT_TRUE(c.required) << c.name;
  auto calendar = OpenOrDie(Fixture("tessdata-2009.mdb"));
  auto events = calendar->GetTable("Events");
  for (const ColumnDef& c : events->columns) EXPECT_FALSE(c.required) << c.name;
}

TEST(CorpusTest, Jet3ValuesDecode) {
  auto db = OpenOrDie(Corpus("testV1997.mdb"));
  ASSERT_TRUE(db);
  EXPECT_EQ(db->info().version, JetVersion::kJet3);
  EXPECT_EQ(db->info().page_size, 2048u);
  auto table = db->GetTable("Table1");
  ASSERT_TRUE(table.ok());
  auto cursor = db->Scan(*table);
  ASSERT_TRUE(cursor.ok());
  Row row;
  Status s;
  ASSERT_TRUE((*cursor)->Next(&row, &s));
  EXPECT_EQ(row.values[0].text(), "a");
  EXPECT_FALSE(row.values[8].boolean());
  ASSERT_TRUE((*cursor)->Next(&row, &s));
  EXPECT_EQ(row.values[0].text(), "abcdefg");
  EXPECT_EQ(row.values[1].text(), "hijklmnop");
  EXPECT_EQ(row.values[2].integer(), 2);
  EXPECT_EQ(row.values[3].integer(), 222);
  EXPECT_EQ(row.values[4].integer(), 333333333);
  EXPECT_DOUBLE_EQ(row.values[5].real(), 444.555);
  EXPECT_EQ(row.values[7].kind(), Value::Kind::kCurrency);
  EXPECT_EQ(row.values[7].integer(), 35000);
  EXPECT_TRUE(row.values[8].boolean());
}

TEST(CorpusTest, MovedRowsComeWhereTheirDataIs) {
  auto db = OpenOrDie(Corpus("overflowTestV2000.mdb"));
  ASSERT_TRUE(db);
  auto table = db->GetTable("Table1");
  ASSERT_TRUE(table.ok());
  auto cursor = db->Scan(*table);
  ASSERT_TRUE(cursor.ok());
  std::vector<std::string> first_values;
  Row row;
  Status s;
  while ((*cursor)->Next(&row, &s)) {
    for (const Value& v : row.values) {
      if (!v.is_null()) {
        first_values.emplace_back(v.text());
        break;
      }
    }
  }
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_EQ(first_values, (std::vector<std::string>{"row1col1", "row2col1", "row4col1", "row6col2",
                                                    "row7col1", "row3col3", "row5col2"}));
}

TEST(CorpusTest, LongMemoSpanningPagesReadsWhole) {
  auto db = OpenOrDie(Fixture("tessdata-2009.mdb"));
  ASSERT_TRUE(db);
  auto table = db->GetTable("Events");
  auto cursor = db->Scan(*table);
  ASSERT_TRUE(cursor.ok());
  size_t notes_column = table->FindColumn("Notes") - table->columns.data();
  size_t longest = 0;
  Row row;
  Status s;
  while ((*cursor)->Next(&row, &s)) {
    if (!row.values[notes_column].is_null()) {
      longest = std::max(longest, row.values[notes_column].text().size());
    }
  }
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_GE(longest, 6000u);
}

// Damaged copies of a real file.
class DamagedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = FileBytes(Corpus("testV2000.mdb"));
    ASSERT_GT(image_.size(), 8192u);
  }
  std::string image_;
};

// A file that ends part way into a page: readers read its whole pages, a
// writer changes nothing.
TEST_F(DamagedFileTest, ATrailingPartialPageIsReadButNotWritten) {
  const std::string cut = image_.substr(0, image_.size() - 100);
  auto reader = Database::OpenImage(cut);
  ASSERT_TRUE(reader.ok()) << reader.status().ToString();
  EXPECT_TRUE((*reader)->UserTableNames().ok());
  OpenOptions writing;
  writing.read_only = false;
  auto writer = Database::OpenImage(cut, writing);
  ASSERT_FALSE(writer.ok());
  EXPECT_EQ(writer.status().code(), StatusCode::kCorruption);
  EXPECT_THAT(writer.status().message(), ::testing::HasSubstr("is read but not changed"));
}

TEST_F(DamagedFileTest, AccdbVersionIsNotSupported) {
  image_[0x14] = 2;
  auto db = Database::OpenImage(image_);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.status().code(), StatusCode::kNotSupported);
  EXPECT_EQ(db.status().message(), "this database format is not supported");
}

TEST_F(DamagedFileTest, WrongPasswordIsRefused) {
  OpenOptions options;
  options.password = "guess";
  auto db = Database::OpenImage(image_, options);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.status().code(), StatusCode::kInvalidPassword);
  EXPECT_EQ(db.status().message(), "Not a valid password.");
}

TEST_F(DamagedFileTest, CatalogPageOverwrittenIsCorruption) {
  std::fill(image_.begin() + 2 * 4096, image_.begin() + 3 * 4096, '\0');
  auto db = Database::OpenImage(image_);
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.status().code(), StatusCode::kCorruption);
  EXPECT_NE(db.status().message().find("page 2"), std::string::npos) << db.status().ToString();
}

TEST_F(DamagedFileTest, CheckReportsAPageThatChangedOwner) {
  auto db = Database::OpenImage(image_);
  ASSERT_TRUE(db.ok());
  auto table = (*db)->GetTable("Table1");
  ASSERT_TRUE(table.ok());
  auto cursor = (*db)->Scan(*table);
  Row row;
  Status s;
  ASSERT_TRUE((*cursor)->Next(&row, &s));
  uint32_t page = row.page;
  // Hand the table's data page to another owner.
  image_[page * 4096 + 4] = 0x7F;
  auto damaged = Database::OpenImage(image_);
  ASSERT_TRUE(damaged.ok());
  auto problems = (*damaged)->Check();
  ASSERT_TRUE(problems.ok());
  ASSERT_FALSE(problems->empty());
  bool named = false;
  for (const std::string& p : *problems) {
    if (p.find("table Table1") != std::string::npos &&
        p.find("page " + std::to_string(page)) != std::string::npos) {
      named = true;
    }
  }
  EXPECT_TRUE(named) << problems->front();
}

TEST_F(DamagedFileTest, CheckListsEveryDamagedRow) {
  auto db = Database::OpenImage(image_);
  ASSERT_TRUE(db.ok());
  auto table = (*db)->GetTable("Table1");
  ASSERT_TRUE(table.ok());
  auto cursor = (*db)->Scan(*table);
  std::vector<std::pair<uint32_t, uint32_t>> rows;
  Row row;
  Status s;
  while ((*cursor)->Next(&row, &s)) rows.emplace_back(row.page, row.slot);
  ASSERT_GE(rows.size(), 2u);
  // Give both rows a column count whose null mask cannot fit.
  for (auto [page, slot] : rows) {
    size_t entry = page * 4096 + 14 + 2 * slot;
    size_t start = page * 4096 + ((static_cast<uint8_t>(image_[entry]) |
                                   static_cast<uint8_t>(image_[entry + 1]) << 8) &
                                  0x1FFF);
    image_[start] = static_cast<char>(0xFF);
    image_[start + 1] = static_cast<char>(0xFF);
  }
  auto damaged = Database::OpenImage(image_);
  ASSERT_TRUE(damaged.ok());
  auto problems = (*damaged)->Check();
  ASSERT_TRUE(problems.ok());
  int row_lines = 0;
  for (const std::string& p : *problems) {
    if (p.find("table Table1: null mask") != std::string::npos) ++row_lines;
  }
  EXPECT_EQ(row_lines, static_cast<int>(rows.size()));
}

// Random byte damage anywhere but page 0 must give statuses, never a crash
// or a hang (the fuzz target goes further; this keeps the guard in every run).
TEST_F(DamagedFileTest, RandomDamageNeverCrashes) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 200; ++round) {
    std::string copy = image_;
    for (int k = 0; k < 20; ++k) {
      size_t at = 4096 + rng() % (copy.size() - 4096);
      copy[at] = static_cast<char>(rng());
    }
    auto db = Database::OpenImage(std::move(copy));
    if (!db.ok()) continue;
    auto names = (*db)->UserTableNames();
    if (!names.ok()) continue;
    for (const std::string& name : *names) {
      auto table = (*db)->GetTable(name);
      if (!table.ok()) continue;
      auto cursor = (*db)->Scan(*table);
      if (!cursor.ok()) continue;
      Row row;
      Status s;
      while ((*cursor)->Next(&row, &s)) {
      }
    }
    (void)(*db)->Check();
  }
}

}  // namespace
}  // namespace jet
