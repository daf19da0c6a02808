// Writing tables with text indexes, on copies of the calendar fixtures:
// thousands of long, accented, punctuated and CJK names split the text
// indexes several levels deep; indexed and plain columns are updated; a
// unique text index turns away a name that differs only in case or trailing
// blanks. Afterwards our check, our reader through each text index, mdbtools
// and the independent index checker must all agree with the rows.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jet/base/coding.h"
#include "jet/database.h"
#include "jet/file/file.h"
#include "jet/format/format.h"
#include "jet/pager/page_file.h"
#include "jet/testing/test_util.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using testing::ColumnIndex;
using testing::OpenForWriting;

using tessaly::testing::SharedFileCopy;

// What the General order keeps of our test names: ASCII case and trailing
// blanks go, everything else stays. (The names avoid the letters that
// General folds further, such as ß.)
std::string Folded(std::string_view text) {
  std::string s(text);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A name of up to ~250 characters from pieces that exercise the collation:
// accents, curly quotes, en dash, apostrophes, hyphens, CJK, Greek.
std::string LongName(int n) {
  static const char* pieces[] = {"Fête de l’Été ", "“Quoted” day ", "Saint-Jean–Baptiste ",
                                 "O'Brien's ",     "日本の祝日 ",   "Crème brûlée ",
                                 "ÅNGSTRÖM ",      "co-op ",        "Ελληνικά ",
                                 "naïve café "};
  std::string s = std::to_string(n * 7919 % 100003) + " ";
  for (int k = 0; s.size() < static_cast<size_t>(40 + n * 37 % 230); ++k)
    s += pieces[(n + k * 3) % 10];
  size_t cut = std::min<size_t>(s.size(), 240);  // Text(255), at a character's start
  while ((static_cast<unsigned char>(s[cut < s.size() ? cut : 0]) & 0xC0) == 0x80) --cut;
  return s.substr(0, cut);
}

// Every row of `column` (a text column with a one-column index), grouped by
// folded text, must come back through the index when seeking the group's
// last scanned spelling (often another case or blanks than the row's), and
// the index must hold every row once.
void ExpectSeeksFindEveryRow(Database& db, const std::string& table_name,
                             const std::string& column) {
  auto table = db.GetTable(table_name);
  ASSERT_TRUE(table.ok());
  const size_t at = ColumnIndex(*table, column);
  const IndexDef* index = nullptr;
  for (const IndexDef& i : table->indexes) {
    if (i.columns.size() == 1 && i.columns[0].column_name == column) index = &i;
  }
  ASSERT_NE(index, nullptr) << table_name << "." << column;
  std::map<std::string, std::set<std::pair<uint32_t, int>>> groups;
  std::map<std::string, std::string> spelling;  // the last spelling seen per group
  size_t rows = 0;
  auto scan = db.Scan(*table);
  ASSERT_TRUE(scan.ok());
  Row row;
  Status s;
  while ((*scan)->Next(&row, &s)) {
    ++rows;
    if (row.values[at].is_null()) continue;
    const std::string folded = Folded(row.values[at].text());
    groups[folded].insert({row.page, row.slot});
    spelling[folded] = row.values[at].text();
  }
  ASSERT_TRUE(s.ok()) << s.ToString();
  size_t through_index = 0;
  auto all = db.SeekRange(*table, *index, nullptr, nullptr);
  ASSERT_TRUE(all.ok()) << all.status().ToString();
  while ((*all)->Next(&row, &s)) ++through_index;
  EXPECT_EQ(through_index, rows) << table_name << "." << column;
  for (const auto& [folded, ids] : groups) {
    KeyBound bound;
    bound.values = {Value::Bytes(Value::Kind::kText, spelling[folded])};
    auto cursor = db.SeekRange(*table, *index, &bound, &bound);
    ASSERT_TRUE(cursor.ok()) << cursor.status().ToString();
    std::set<std::pair<uint32_t, int>> found;
    while ((*cursor)->Next(&row, &s)) found.insert({row.page, row.slot});
    ASSERT_TRUE(s.ok()) << s.ToString();
    EXPECT_EQ(found, ids) << table_name << "." << column << " \"" << spelling[folded] << "\"";
  }
}

// Our check, mdbtools and the index checker accept the file; mdb-json gives
// every row of every table.
void ExpectSound(const std::filesystem::path& path, bool text_indexes) {
  auto db = Database::Open(path.string());
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  auto problems = (*db)->Check();
  ASSERT_TRUE(problems.ok());
  EXPECT_THAT(*problems, ::testing::IsEmpty());
  if (text_indexes) {
    ExpectSeeksFindEveryRow(**db, "Events", "EventName");
    ExpectSeeksFindEveryRow(**db, "Dates", "DateColor");
  }
  for (const char* table : {"Dates", "Events", "EventDates"}) {
    if (!tessaly::testing::kLinuxOracles) break;
    auto def = (*db)->GetTable(table);
    ASSERT_TRUE(def.ok());
    auto r = tessaly::testing::RunProcess({"mdb-json", path.string(), table});
    ASSERT_EQ(r.exit_code, 0) << table << ": " << r.err;
    size_t rows = 0;
    auto scan = (*db)->Scan(*def);
    Row row;
    Status s;
    while ((*scan)->Next(&row, &s)) ++rows;
    EXPECT_EQ(static_cast<size_t>(std::count(r.out.begin(), r.out.end(), '\n')), rows) << table;
  }
  auto check = tessaly::testing::RunJetcheck(path);
  if (check.java_missing) GTEST_SKIP() << "java is missing: " << check.error;
  EXPECT_TRUE(check.passed()) << check.output << check.error;
}

// Inserts `count` Events named by LongName, with twins: one in other case,
// one with trailing blanks (both share their original's key), and one with
// an accent more (which does not). Commits every 500 rows.
std::vector<RowId> InsertEvents(Database& db, int count, std::vector<std::string>* names) {
  auto events = db.GetTable("Events");
  EXPECT_TRUE(events.ok());
  const size_t name = ColumnIndex(*events, "EventName");
  names->reserve(names->size() + 2 * static_cast<size_t>(count));  // the Values point into it
  std::vector<RowId> ids;
  EXPECT_TRUE(db.Begin().ok());
  for (int i = 0; i < count; ++i) {
    std::string text = i % 10 == 1   ? Folded(names->back())
                       : i % 10 == 2 ? names->back() + "   "
                       : i % 10 == 3 ? names->back() + "é"
                                     : LongName(i);
    names->push_back(text);
    std::vector<Value> values(events->columns.size());
    values[name] = Value::Bytes(Value::Kind::kText, names->back());
    auto inserted = db.Insert(*events, values);
    EXPECT_TRUE(inserted.ok()) << i << ": " << inserted.status().ToString();
    if (!inserted.ok()) break;
    ids.push_back(inserted->id);
    if (i % 500 == 499) {
      EXPECT_TRUE(db.Commit().ok() && db.Begin().ok());
    }
  }
  EXPECT_TRUE(db.Commit().ok());
  return ids;
}

struct Workload {
  const char* file;
  int events;  // new Events rows
  bool text_indexes;
};

class TextIndexWriteTest : public ::testing::TestWithParam<Workload> {};

TEST_P(TextIndexWriteTest, LongNamesSplitTheIndexesAndEveryReaderAgrees) {
  const Workload& w = GetParam();
  SharedFileCopy copy("fixtures", w.file);
  {
    auto db = OpenForWriting(copy.path(), /*sync=*/false);
    ASSERT_TRUE(db);
    std::vector<std::string> names;
    std::vector<RowId> ids = InsertEvents(*db, w.events, &names);
    ASSERT_EQ(ids.size(), static_cast<size_t>(w.events));
    auto events = db->GetTable("Events");
    auto dates = db->GetTable("Dates");
    ASSERT_TRUE(events.ok() && dates.ok());
    const size_t notes = ColumnIndex(*events, "Notes"), color = ColumnIndex(*dates, "DateColor");
    ASSERT_TRUE(db->Begin().ok());
    // A plain column of rows with long keys; the key stays.
    for (size_t i = 3; i < ids.size(); i += 7) {
      Status s =
          db->Update(*events, ids[i], {{notes, Value::Bytes(Value::Kind::kText, "a note – 注記")}});
      ASSERT_TRUE(s.ok()) << s.ToString();
    }
    // New days in colors that collate with old ones or not; a third recoloured.
    static const char* colors[] = {"green", "GREEN  ", "Grün", "Vert pâle – “clair”", "O'Hara-red"};
    for (int d = 0; d < w.events / 4; ++d) {
      std::vector<Value> values(dates->columns.size());
      values[ColumnIndex(*dates, "DateKey")] = Value::Real(Value::Kind::kDateTime, 60000 + d);
      values[color] = Value::Bytes(Value::Kind::kText, colors[d % 5]);
      auto inserted = db->Insert(*dates, values);
      ASSERT_TRUE(inserted.ok()) << inserted.status().ToString();
      if (d % 3 == 0) {
        Status s = db->Update(*dates, inserted->id,
                              {{color, Value::Bytes(Value::Kind::kText, "Purple ")}});
        ASSERT_TRUE(s.ok()) << s.ToString();
      }
    }
    ASSERT_TRUE(db->Commit().ok());
    ASSERT_TRUE(db->Close().ok());
  }
  ExpectSound(copy.path(), w.text_indexes);
}

INSTANTIATE_TEST_SUITE_P(Calendars, TextIndexWriteTest,
                         ::testing::Values(Workload{"tessdata-textindex.mdb", 3000, true},
                                           Workload{"tessdata-2009.mdb", 600, false}),
                         [](const auto& info) {
                           return std::string(info.param.text_indexes ? "TextIndexes"
                                                                      : "NoTextIndex");
                         });

// Removing a leaf's last entry gives its parent a new separator key; a
// longer one (text keys; number keys never lengthen) can overflow the node,
// which then splits, and the new page must be entered in the parent as after
// an insert. Renames of indexed text drive exactly that.
TEST(TextIndexWriteTest, RenamesOfIndexedTextKeepTheTreeWhole) {
  SharedFileCopy copy("fixtures", "tessdata-textindex.mdb");
  {
    auto db = OpenForWriting(copy.path(), /*sync=*/false);
    ASSERT_TRUE(db);
    std::vector<std::string> names;
    std::vector<RowId> ids = InsertEvents(*db, 3000, &names);
    auto events = db->GetTable("Events");
    const size_t name = ColumnIndex(*events, "EventName");
    ASSERT_TRUE(db->Begin().ok());
    for (size_t i = 0; i < ids.size(); i += 7) {
      names.push_back(i % 2 ? "Renamed – “" + std::to_string(i) + "” d'été"
                            : "RENAMED " + std::to_string(i));
      Status s =
          db->Update(*events, ids[i], {{name, Value::Bytes(Value::Kind::kText, names.back())}});
      ASSERT_TRUE(s.ok()) << i << ": " << s.ToString();
    }
    ASSERT_TRUE(db->Commit().ok());
    ASSERT_TRUE(db->Close().ok());
  }
  ExpectSound(copy.path(), true);
}

// Sets the unique flag of table `table_name`'s physical index `physical` in
// the file (Jet 4, a one-page definition).
void MakeUnique(const std::filesystem::path& path, const TableDef& table, uint32_t physical) {
  auto image = ReadWholeFile(path.string());
  ASSERT_TRUE(image.ok());
  const Format& f = kJet4Format;
  uint8_t* p = reinterpret_cast<uint8_t*>(image->data()) + table.tdef_page * f.page_size;
  const uint16_t columns = ReadU16(p + f.tdef_num_cols_offset);
  const uint32_t real = ReadU32(p + f.tdef_num_real_idx_offset);
  uint8_t* at =
      p + f.tdef_header_size + real * f.tdef_index_count_entry_size + columns * f.column_size;
  for (uint16_t c = 0; c < columns; ++c) at += 2 + ReadU16(at);  // the column names
  at[physical * f.physical_index_size + f.physical_index_flags_offset] |= 0x01;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << *image;
}

TEST(TextIndexWriteTest, AUniqueTextIndexTurnsAwayCaseAndBlankTwins) {
  SharedFileCopy copy("fixtures", "tessdata-textindex.mdb");
  {
    // The fixture names two events twice; give them names of their own first.
    auto db = OpenForWriting(copy.path(), /*sync=*/false);
    ASSERT_TRUE(db);
    auto events = db->GetTable("Events");
    const size_t name = ColumnIndex(*events, "EventName");
    std::set<std::string> seen;
    std::vector<RowId> twins;
    auto scan = db->Scan(*events);
    Row row;
    Status s;
    while ((*scan)->Next(&row, &s)) {
      if (!seen.insert(Folded(row.values[name].text())).second)
        twins.push_back({row.page, row.slot});
    }
    ASSERT_EQ(twins.size(), 2u);
    for (size_t i = 0; i < twins.size(); ++i) {
      std::string text = "Second of its name " + std::to_string(i);
      ASSERT_TRUE(
          db->Update(*events, twins[i], {{name, Value::Bytes(Value::Kind::kText, text)}}).ok());
    }
    const IndexDef* index = nullptr;
    for (const IndexDef& i : events->indexes) index = i.name == "EventName" ? &i : index;
    ASSERT_NE(index, nullptr);
    const uint32_t physical = index->physical_index;
    const TableDef def = *events;
    ASSERT_TRUE(db->Close().ok());
    MakeUnique(copy.path(), def, physical);
  }
  auto db = OpenForWriting(copy.path(), /*sync=*/false);
  ASSERT_TRUE(db);
  auto events = db->GetTable("Events");
  ASSERT_TRUE(events.ok());
  const size_t name = ColumnIndex(*events, "EventName");
  auto with_name = [&](const char* text) {
    std::vector<Value> values(events->columns.size());
    if (text != nullptr) values[name] = Value::Bytes(Value::Kind::kText, text);
    return values;
  };
  auto first = db->Insert(*events, with_name("Fête–“ABC”"));
  ASSERT_TRUE(first.ok()) << first.status().ToString();
  for (const char* twin : {"fête–“abc”", "FÊTE–“ABC”   ", "Fête–“ABC” "}) {
    Status s = db->Insert(*events, with_name(twin)).status();
    EXPECT_EQ(s.code(), StatusCode::kConstraint) << twin;
    EXPECT_THAT(s.message(), ::testing::HasSubstr("duplicate values in the index")) << twin;
    EXPECT_THAT(s.message(), ::testing::HasSubstr("index EventName")) << s.message();
  }
  auto other = db->Insert(*events, with_name("Fete–“ABC”"));  // no accent: another key
  ASSERT_TRUE(other.ok()) << other.status().ToString();
  EXPECT_EQ(db->Update(*events, other->id, {{name, Value::Bytes(Value::Kind::kText, "FÊTE–“abc”")}})
                .code(),
            StatusCode::kConstraint);
  // A row may keep its own key under another spelling; nulls may repeat.
  EXPECT_TRUE(
      db->Update(*events, first->id, {{name, Value::Bytes(Value::Kind::kText, "fête–“abc”  ")}})
          .ok());
  EXPECT_TRUE(db->Insert(*events, with_name(nullptr)).ok());
  EXPECT_TRUE(db->Insert(*events, with_name(nullptr)).ok());
  ASSERT_TRUE(db->Close().ok());
  ExpectSound(copy.path(), true);
}

}  // namespace
}  // namespace jet
