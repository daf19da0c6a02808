// The table writer on copies of the calendar fixtures: inserts and updates
// read back by our reader, mdbtools and the independent index checker, and
// every refused change leaving the file as it was.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/file/file.h"
#include "jet/testing/fault_file_system.h"
#include "jet/testing/test_util.h"
#include "support/access97_calendar.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using testing::ColumnIndex;
using testing::FileBytes;
using testing::NewDay;
using testing::OpenForWriting;
using testing::Rows;

using tessaly::testing::SharedFileCopy;
using ::testing::HasSubstr;

// Our check, mdbtools and the index checker all accept the file.
void ExpectSound(const std::filesystem::path& path) {
  {
    auto db = Database::Open(path.string());
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    std::vector<std::string> notes;
    auto problems = (*db)->Check(&notes);
    ASSERT_TRUE(problems.ok());
    EXPECT_THAT(*problems, ::testing::IsEmpty());
    // The calendar has no page that nothing refers to, and the engine gives
    // back every page it stops using.
    EXPECT_THAT(notes, ::testing::IsEmpty());
  }
  if (!tessaly::testing::kLinuxOracles) return;
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
      // A Value only views its text: the name must outlive the insert.
      const std::string name = (i % 3 ? "Feast " : "Saint Ü ") + std::to_string(i);
      values[ColumnIndex(*events, "EventName")] = Value::Bytes(Value::Kind::kText, name);
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

// One refused change: what it does, and what the error must say.
struct RefusalCase {
  const char* name;
  const char* folder;
  const char* file;
  StatusCode code;
  const char* message;  // a part of the error text
  std::function<Status(Database&)> change;
  std::function<void(const std::filesystem::path&)> prepare = nullptr;  // on the copy, first
};

// Marks a text column of a copy as sorted in the Access 2010 "General"
// order (version byte 1 of its sort order), whose keys this engine does
// not build.
void UseNewerSortOrder(const std::filesystem::path& path, const char* table, const char* column) {
  uint32_t tdef = 0, number = 0;
  {
    auto db = Database::Open(path.string());
    auto def = (*db)->GetTable(table);
    tdef = def->tdef_page;
    number = def->FindColumn(column)->column_number;
  }
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string page(4096, '\0');
  file.seekg(tdef * 4096);
  file.read(page.data(), page.size());
  auto u16 = [&](size_t at) {
    return static_cast<uint8_t>(page[at]) | static_cast<uint8_t>(page[at + 1]) << 8;
  };
  const uint32_t physical = u16(51) | u16(53) << 16;
  const size_t columns = u16(45);
  for (size_t i = 0, at = 63 + 12 * physical; i < columns; ++i, at += 25) {
    if (u16(at + 5) != static_cast<int>(number)) continue;
    file.seekp(tdef * 4096 + at + 14);
    file.put(1);
    return;
  }
  ADD_FAILURE() << "no descriptor for column " << column;
}

Status InsertDay(Database& db,
                 const std::function<void(const TableDef&, std::vector<Value>*)>& edit) {
  auto dates = db.GetTable("Dates");
  if (!dates.ok()) return dates.status();
  std::vector<Value> values = NewDay(*dates, 40300);
  edit(*dates, &values);
  return db.Insert(*dates, values).status();
}

const std::string kLongColor(51, 'x');

const RefusalCase kRefusals[] = {
    {"DuplicatePrimaryKey", "fixtures", "tessdata-2009.mdb", StatusCode::kConstraint,
     "would create duplicate values in the index, primary key, or relationship. (table Dates, "
     "index PrimaryKey: DateKey = 2010-01-01)",
     [](Database& db) {
       // 1/1/2010 is in the calendar already.
       return InsertDay(db, [](const TableDef& t, std::vector<Value>* v) {
         (*v)[ColumnIndex(t, "DateKey")] = Value::Real(Value::Kind::kDateTime, 40179);
       });
     }},
    {"TextTooLong", "fixtures", "tessdata-2009.mdb", StatusCode::kInvalidArgument,
     "The field is too small to accept the amount of data you attempted to add. Try inserting "
     "or pasting less data. (table Dates, column DateColor: text of 51 characters is longer "
     "than the column's 50)",
     [](Database& db) {
       return InsertDay(db, [](const TableDef& t, std::vector<Value>* v) {
         (*v)[ColumnIndex(t, "DateColor")] = Value::Bytes(Value::Kind::kText, kLongColor);
       });
     }},
    {"WrongType", "fixtures", "tessdata-2009.mdb", StatusCode::kInvalidArgument,
     "table Dates, column EventCount",
     [](Database& db) {
       return InsertDay(db, [](const TableDef& t, std::vector<Value>* v) {
         (*v)[ColumnIndex(t, "EventCount")] = Value::Bytes(Value::Kind::kText, "three");
       });
     }},
    {"NullKey", "fixtures", "tessdata-2009.mdb", StatusCode::kConstraint,
     "Index or primary key cannot contain a Null value. (table Dates, index PrimaryKey: column "
     "DateKey cannot be Null",
     [](Database& db) {
       return InsertDay(db, [](const TableDef& t, std::vector<Value>* v) {
         (*v)[ColumnIndex(t, "DateKey")] = Value::Null();
       });
     }},
    {"AutonumberChanged", "fixtures", "tessdata-2009.mdb", StatusCode::kInvalidArgument,
     "column EventID: an autonumber value cannot be changed",
     [](Database& db) {
       auto events = db.GetTable("Events");
       auto cursor = db.Scan(*events);
       Row row;
       Status s;
       if (!(*cursor)->Next(&row, &s)) return Status::NotFound("no event");
       return db.Update(
           *events, RowId{row.page, row.slot},
           {{ColumnIndex(*events, "EventID"), Value::Integer(Value::Kind::kLong, 999)}});
     }},
    {"TextIndexInAnotherSortOrder", "fixtures", "tessdata-textindex.mdb", StatusCode::kNotSupported,
     "sort order 0x0409 version 1",
     [](Database& db) {
       auto events = db.GetTable("Events");
       return db.Insert(*events, std::vector<Value>(events->columns.size())).status();
     },
     [](const std::filesystem::path& path) { UseNewerSortOrder(path, "Events", "EventName"); }},
};

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, NamesTheProblemAndLeavesTheFileAsItWas) {
  const RefusalCase& c = GetParam();
  SharedFileCopy copy(c.folder, c.file);
  if (c.prepare) c.prepare(copy.path());
  const std::string before = FileBytes(copy.path());
  {
    auto db = OpenForWriting(copy.path());
    ASSERT_TRUE(db);
    Status s = c.change(*db);
    EXPECT_EQ(s.code(), c.code) << s.ToString();
    EXPECT_THAT(s.message(), HasSubstr(c.message));
    ASSERT_TRUE(db->Close().ok());
  }
  EXPECT_TRUE(FileBytes(copy.path()) == before) << "the file changed";
  EXPECT_FALSE(std::filesystem::exists(copy.path().string() + "-wal"));
}

INSTANTIATE_TEST_SUITE_P(Changes, RefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// Access 97: rows are inserted and updated (text in the file's code page,
// General 97 index keys); a character the code page lacks is refused before
// anything is written, and so are new tables and indexes.
TEST(TableWriterTest, AnAccessNinetySevenFileTakesRowsTablesAndIndexes) {
  SharedFileCopy copy("corpus", "testV1997.mdb");
  {
    auto db = OpenForWriting(copy.path());
    auto t = db->GetTable("Table1");
    ASSERT_TRUE(t.ok());
    using K = Value::Kind;
    std::vector<Value> row = {Value::Bytes(K::kText, "\xC3\xA9t\xC3\xA9"),
                              Value::Bytes(K::kText, "caf\xC3\xA9 \xE2\x82\xAC"),
                              Value::Integer(K::kByte, 7),
                              Value::Integer(K::kInteger, -2),
                              Value::Integer(K::kLong, 1234567),
                              Value::Real(K::kDouble, 2.5),
                              Value::Real(K::kDateTime, 40000.5),
                              Value::Integer(K::kCurrency, 125000),
                              Value::Boolean(true)};
    auto inserted = db->Insert(*t, row);
    ASSERT_TRUE(inserted.ok()) << inserted.status().ToString();
    // "ÉTÉ" has the key of "été": the primary key refuses it.
    row[0] = Value::Bytes(K::kText, "\xC3\x89T\xC3\x89");
    EXPECT_EQ(db->Insert(*t, row).status().code(), StatusCode::kConstraint);
    ASSERT_TRUE(
        db->Update(*t, inserted->id, {{1, Value::Bytes(K::kText, std::string(100, 'z'))}}).ok());
    Status s = db->Update(*t, inserted->id, {{1, Value::Bytes(K::kText, "Pr\xC4\x81ga")}});
    EXPECT_EQ(s.message(),
              "table Table1, column B: the character U+0101 (\"\xC4\x81\") has no byte in"
              " code page 1252");
    Status made =
        db->CreateTable(TableDesign{"Caf\xC3\xA9", {ColumnDesign{"Id", ColumnType::kLong}}, {}});
    EXPECT_TRUE(made.ok()) << made.ToString();
    EXPECT_EQ(
        db->CreateTable(TableDesign{"Pr\xC4\x81ga", {ColumnDesign{"Id", ColumnType::kLong}}, {}})
            .message(),
        "table name 'Pr\xC4\x81ga': the character U+0101 (\"\xC4\x81\") has no byte in code page "
        "1252");
    ColumnDesign amount{"Amount", ColumnType::kNumeric};
    amount.precision = 10;
    EXPECT_EQ(db->CreateTable(TableDesign{"Money", {amount}, {}}).message(),
              "table Money, column Amount: Access 97 databases have no Decimal columns");
    Status indexed = db->CreateIndex("Table1", IndexDesign{"ByC", {{"C"}}});
    EXPECT_TRUE(indexed.ok()) << indexed.ToString();
    ASSERT_TRUE(db->Close().ok());
  }
  auto db = Database::Open(copy.path().string());
  ASSERT_TRUE(db.ok());
  auto t = (*db)->GetTable("Table1");
  EXPECT_EQ(t->row_count, 3u);
  auto cursor = (*db)->Scan(*t);
  Row r;
  Status s;
  std::vector<std::string> seen;
  while ((*cursor)->Next(&r, &s))
    seen.push_back(std::string(r.values[0].text()) + "|" + std::string(r.values[1].text()));
  EXPECT_NE(std::find(seen.begin(), seen.end(), "\xC3\xA9t\xC3\xA9|" + std::string(100, 'z')),
            seen.end());
  EXPECT_TRUE((*db)->GetTable("caf\xC3\xA9").ok());
  EXPECT_EQ(t->indexes.back().name, "ByC");
  auto problems = (*db)->Check();
  ASSERT_TRUE(problems.ok());
  for (const std::string& p : *problems) ADD_FAILURE() << p;
}

TEST(TableWriterTest, AFailedStatementKeepsTheUnitsEarlierChanges) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  {
    auto db = OpenForWriting(copy.path());
    auto dates = db->GetTable("Dates");
    ASSERT_TRUE(db->Begin().ok());
    ASSERT_TRUE(db->Insert(*dates, NewDay(*dates, 50000)).ok());
    EXPECT_EQ(db->Insert(*dates, NewDay(*dates, 50000)).status().code(), StatusCode::kConstraint);
    ASSERT_TRUE(db->Insert(*dates, NewDay(*dates, 50001)).ok());
    ASSERT_TRUE(db->Commit().ok());
    ASSERT_TRUE(db->Close().ok());
  }
  auto db = Database::Open(copy.path().string());
  auto rows = Rows(**db, "Dates");
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                          [](const std::string& r) {
                            return r.rfind("50000.", 0) == 0 || r.rfind("50001.", 0) == 0;
                          }),
            2);
  ExpectSound(copy.path());
}

// Updates of a calendar in use: a day's count changes and its 5,000-character
// notes stay; texts grow until rows move off their pages; keys change.
TEST(TableWriterTest, UpdatesKeepNotesMoveGrownRowsAndReindex) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  std::vector<std::string> expected;
  {
    auto db = OpenForWriting(copy.path());
    auto dates = db->GetTable("Dates");
    const size_t key = ColumnIndex(*dates, "DateKey"), count = ColumnIndex(*dates, "EventCount"),
                 notes = ColumnIndex(*dates, "DateNotes"), text = ColumnIndex(*dates, "DateText"),
                 color = ColumnIndex(*dates, "DateColor");
    std::vector<std::pair<RowId, std::string>> days;  // every row and its notes
    {
      auto cursor = db->Scan(*dates);
      Row row;
      Status s;
      while ((*cursor)->Next(&row, &s)) {
        days.push_back({RowId{row.page, row.slot}, std::string(row.values[notes].text())});
      }
    }
    ASSERT_GT(days.size(), 300u);
    size_t long_notes = 0;
    for (size_t i = 0; i < days.size(); ++i) {
      const auto& [id, old_notes] = days[i];
      long_notes += old_notes.size() >= 5000;
      std::vector<ColumnChange> changes = {{count, Value::Integer(Value::Kind::kLong, 7)}};
      std::string grown(i % 3 == 0 ? 900 : 20, 'g');
      changes.push_back({text, Value::Bytes(Value::Kind::kText, grown)});
      // Fifty characters where five were: the rows outgrow their pages.
      const std::string wide_color(50, 'c');
      changes.push_back({color, Value::Bytes(Value::Kind::kText, wide_color)});
      if (i % 10 == 0) changes.push_back({key, Value::Real(Value::Kind::kDateTime, 60000 + i)});
      Status s = db->Update(*dates, id, changes);
      ASSERT_TRUE(s.ok()) << s.ToString();
      Row row;
      ASSERT_TRUE(db->ReadRow(*dates, id, &row).ok());
      EXPECT_EQ(row.values[notes].text(), old_notes);
      EXPECT_EQ(row.values[text].text(), grown);
    }
    EXPECT_GE(long_notes, 1u);
    expected = Rows(*db, "Dates");
    ASSERT_TRUE(db->Close().ok());
  }
  ExpectSound(copy.path());
  auto db = Database::Open(copy.path().string());
  EXPECT_EQ(Rows(**db, "Dates"), expected);
}

// Memos of 2010's days rewritten long and short by turns, one unit a round
// as `jetdb sql` runs an UPDATE: the pages and room that a round frees take
// the next round's values, so the file stops growing after two rounds; in
// Access 97 files (made from the same calendar) as in Access 2000 ones.
struct RewriteCase {
  const char* name;
  size_t long_chars;   // odd rounds
  size_t short_chars;  // even rounds
  bool compressible;   // Latin-1 text (one byte a char) or not (two)
  bool access97 = false;
};

class RewriteRoundsTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteRoundsTest, TenRoundsEndWithinFivePercentOfTwo) {
  const RewriteCase& param = GetParam();
  SharedFileCopy jet4("fixtures", "tessdata-2009.mdb");
  const std::filesystem::path path = param.access97 ? jet4.dir() / "calendar97.mdb" : jet4.path();
  if (param.access97) {
    ASSERT_EQ(tessaly::testing::MakeAccess97Calendar(jet4.path(), path), "");
  }
  const double first_2010 = 40179;  // 2010-01-01 as an OLE day
  auto text_of = [&](int round) {
    const size_t chars = round % 2 == 1 ? param.long_chars : param.short_chars;
    return param.compressible ? std::string(chars, static_cast<char>('a' + round))
                              : Memo(chars, static_cast<char32_t>(round));
  };
  uintmax_t after_two = 0;
  for (int round = 1; round <= 10; ++round) {
    auto db = OpenForWriting(path, false);
    ASSERT_NE(db, nullptr);
    auto dates = db->GetTable("Dates");
    const size_t key = ColumnIndex(*dates, "DateKey"), text = ColumnIndex(*dates, "DateText");
    std::vector<RowId> days;
    {
      auto cursor = db->Scan(*dates);
      Row row;
      Status s;
      while ((*cursor)->Next(&row, &s)) {
        const double day = row.values[key].real();
        if (day >= first_2010 && day < first_2010 + 365) days.push_back({row.page, row.slot});
      }
    }
    ASSERT_GE(days.size(), 60u);
    ASSERT_TRUE(db->Begin().ok());
    for (const RowId& id : days) {
      Status s = db->Update(*dates, id, {{text, Value::Bytes(Value::Kind::kText, text_of(round))}});
      ASSERT_TRUE(s.ok()) << round << ": " << s.ToString();
    }
    ASSERT_TRUE(db->Commit().ok());
    ASSERT_TRUE(db->Close().ok());
    if (round == 2) after_two = std::filesystem::file_size(path);
  }
  const uintmax_t after_ten = std::filesystem::file_size(path);
  EXPECT_LE(after_ten, after_two + after_two / 20) << after_two << " -> " << after_ten;
  ExpectSound(path);
  auto db = Database::Open(path.string());
  ASSERT_TRUE(db.ok());
  auto dates = (*db)->GetTable("Dates");
  const size_t key = ColumnIndex(*dates, "DateKey"), text = ColumnIndex(*dates, "DateText");
  auto cursor = (*db)->Scan(*dates);
  Row row;
  Status s;
  size_t seen = 0;
  while ((*cursor)->Next(&row, &s)) {
    const double day = row.values[key].real();
    if (day < first_2010 || day >= first_2010 + 365) continue;
    ++seen;
    EXPECT_EQ(row.values[text].text(), text_of(10));
  }
  EXPECT_GE(seen, 60u);
}

INSTANTIATE_TEST_SUITE_P(Calendar2009, RewriteRoundsTest,
                         ::testing::Values(RewriteCase{"OnePageMemos", 3000, 40, false},
                                           RewriteCase{"CompressedMemos", 3000, 40, true},
                                           RewriteCase{"ChainedMemos", 9000, 40, false},
                                           RewriteCase{"InlineAndMovedRows", 60, 2, true},
                                           RewriteCase{"Access97Memos", 3000, 40, true, true},
                                           RewriteCase{"Access97InlineAndMovedRows", 60, 2, true,
                                                       true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TableWriterTest, ASecondWriterIsTurnedAwayAndReadersSeeCommittedUnits) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  auto db = OpenForWriting(copy.path());
  OpenOptions options;
  options.read_only = false;
  auto second = Database::Open(copy.path().string(), options);
  ASSERT_FALSE(second.ok());
  EXPECT_EQ(second.status().code(), StatusCode::kBusy);
  EXPECT_THAT(second.status().message(), HasSubstr("The database is in use by another program"));

  auto dates = db->GetTable("Dates");
  ASSERT_TRUE(db->Insert(*dates, NewDay(*dates, 40300)).ok());
  auto reader = Database::Open(copy.path().string());
  ASSERT_TRUE(reader.ok()) << reader.status().ToString();
  EXPECT_EQ(Rows(**reader, "Dates").size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(copy.path().string() + "-wal"));
}

TEST(TableWriterTest, AVanishedFileFailsTheCommit) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  auto db = OpenForWriting(copy.path());
  auto dates = db->GetTable("Dates");
#ifdef _WIN32
  // Windows keeps a file that is open for writing from being removed.
  std::error_code refused;
  EXPECT_FALSE(std::filesystem::remove(copy.path(), refused));
  EXPECT_TRUE(db->Insert(*dates, NewDay(*dates, 40300)).ok());
#else
  std::filesystem::remove(copy.path());
  Status s = db->Insert(*dates, NewDay(*dates, 40300)).status();
  EXPECT_EQ(s.code(), StatusCode::kIoError);
  EXPECT_THAT(s.message(), HasSubstr("was removed or replaced by another program"));
#endif
}

// Opens `path` for writing on `files`.
std::unique_ptr<Database> OpenForWritingOn(const std::filesystem::path& path, FileSystem& files) {
  OpenOptions options;
  options.read_only = false;
  options.file_system = &files;
  auto db = Database::Open(path.string(), options);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  return db.ok() ? std::move(db).value() : nullptr;
}

TEST(TableWriterTest, AFullDiskFailsCleanlyAtEveryStep) {
  for (int from = 1; from < 40; ++from) {
    SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
    // A disk that fills up: from the from-th write, truncate or sync on,
    // every one fails as a full disk does (removing a file still works).
    int count = 0;
    testing::FaultFileSystem files;
    bool inserted = false;
    {
      auto db = OpenForWritingOn(copy.path(), files);
      auto dates = db->GetTable("Dates");
      files.SetHook([&](const testing::FileOperation& operation) {
        if (operation.op == testing::FileOp::kRemove || ++count < from) return Status::OK();
        return Status::IoError("cannot write: No space left on device");
      });
      Status s = db->Insert(*dates, NewDay(*dates, 50000)).status();
      inserted = s.ok();
      if (!s.ok()) {
        EXPECT_THAT(s.message(), HasSubstr("No space left on device"));
      }
      Status closed = db->Close();
      if (!closed.ok()) {
        EXPECT_THAT(closed.message(), HasSubstr("No space left on device"));
        // A close that fails before it copied a page writes nothing.
        if (closed.code() == StatusCode::kIoError) {
          EXPECT_THAT(closed.message(), HasSubstr("Nothing was written"));
          inserted = false;
        }
      }
    }
    // The space is back: the next open finds the file whole, with the row
    // exactly when the insert and the close did not say otherwise.
    auto db = Database::Open(copy.path().string());
    ASSERT_TRUE(db.ok()) << "from operation " << from << ": " << db.status().ToString();
    auto rows = Rows(**db, "Dates");
    bool present = std::any_of(rows.begin(), rows.end(),
                               [](const std::string& r) { return r.rfind("50000.", 0) == 0; });
    EXPECT_EQ(present, inserted) << "from operation " << from;
    auto problems = (*db)->Check();
    ASSERT_TRUE(problems.ok());
    EXPECT_THAT(*problems, ::testing::IsEmpty()) << "from operation " << from;
    if (count < from) break;  // the whole run fit before the disk filled
  }
}

// A writer that stops after committing leaves its log; if another program
// changes the database before we open it again, the log is not applied.
TEST(TableWriterTest, ALeftoverLogIsNeverAppliedToAChangedDatabase) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  const std::string log = copy.path().string() + "-wal";
  {
    // A writer commits a unit and stops before its close copies it in.
    testing::FaultFileSystem files;
    auto db = OpenForWritingOn(copy.path(), files);
    auto dates = db->GetTable("Dates");
    ASSERT_TRUE(db->Insert(*dates, NewDay(*dates, 40300)).ok());
    // The machine stops: nothing after the commit reaches the disk.
    files.SetHook(
        [](const testing::FileOperation&) { return Status::IoError("the machine stopped"); });
    (void)db->Close();
  }
  ASSERT_TRUE(std::filesystem::exists(log));

  // Another program changes a page that the log changed too (the end of
  // the Dates definition page, whose row count the insert raised).
  uint32_t tdef_page = 0;
  {
    auto image = Database::OpenImage(FileBytes(copy.path()));
    tdef_page = (*image)->GetTable("Dates")->tdef_page;
  }
  {
    std::fstream out(copy.path(), std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(4096 * tdef_page + 4095);
    out.put('\x5A');
  }
  const std::string bytes = FileBytes(copy.path());
  auto db = Database::Open(copy.path().string());
  ASSERT_FALSE(db.ok());
  EXPECT_THAT(db.status().message(), HasSubstr("changed by another program"));
  EXPECT_TRUE(std::filesystem::exists(log)) << "the log is kept for the user to decide";
  EXPECT_TRUE(FileBytes(copy.path()) == bytes);

  // Moving the log away opens the database as the other program left it.
  std::filesystem::rename(log, log + ".old");
  auto reopened = Database::Open(copy.path().string());
  ASSERT_TRUE(reopened.ok()) << reopened.status().ToString();
  EXPECT_TRUE(Rows(**reopened, "Dates").empty());
}

// Thousands of links into the 40-year calendar, whose indexes already span
// several levels: leaves and nodes split, and Access's own reader of
// indexes (the independent checker) still finds every row by its keys.
TEST(TableWriterTest, ThousandsOfInsertsSplitDeepIndexes) {
  SharedFileCopy copy("fixtures", "tessdata-large.mdb");
  size_t before = 0;
  {
    auto db = OpenForWriting(copy.path());
    auto links = db->GetTable("EventDates");
    before = Rows(*db, "EventDates").size();
    const size_t event = ColumnIndex(*links, "EventId"), date = ColumnIndex(*links, "EventDate");
    ASSERT_TRUE(db->Begin().ok());
    uint32_t x = 12345;
    for (int i = 0; i < 4000; ++i) {
      x = x * 1103515245 + 12345;  // keys spread over the whole index
      std::vector<Value> values(links->columns.size());
      values[event] = Value::Integer(Value::Kind::kLong, (x >> 8) % 13000);
      values[date] = Value::Real(Value::Kind::kDateTime, 25000 + (x >> 4) % 15000);
      auto inserted = db->Insert(*links, values);
      ASSERT_TRUE(inserted.ok()) << inserted.status().ToString();
    }
    ASSERT_TRUE(db->Commit().ok());
    ASSERT_TRUE(db->Close().ok());
  }
  ExpectSound(copy.path());
  auto db = Database::Open(copy.path().string());
  EXPECT_EQ(Rows(**db, "EventDates").size(), before + 4000);
}
}  // namespace
}  // namespace jet
