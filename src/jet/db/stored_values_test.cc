// Values whose stored form has a trap, written through the engine and read
// back by our reader, mdbtools and the independent index checker: text and
// memos beginning with U+FEFF (their plain form begins FF FE, the mark of
// compressed text), empty Binary values in an index (a key that is a prefix
// of the others), text keys of very different lengths (pages split by their
// bytes), and "" in a fixed-length text column.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>

#include "jet/database.h"
#include "jet/testing/test_util.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"
#include "support/temp_folder.h"

namespace jet {
namespace {

using namespace std::string_literals;
using testing::ColumnIndex;
using tessaly::testing::RunProcess;

const std::string kBom = "\xEF\xBB\xBF";

// A text of `n` copies of `piece`.
std::string Times(int n, const std::string& piece) {
  std::string s;
  for (int i = 0; i < n; ++i) s += piece;
  return s;
}

struct Written {
  std::string table;
  std::string column;              // a Text or Memo column whose values are compared
  std::vector<std::string> texts;  // its values, in insertion order (null: not listed)
};

struct ValueCase {
  const char* name;
  JetVersion version;
  const char* fixture;  // "folder/name" of a shared file to copy; "" for a new one with `design`
  TableDesign design;
  // Inserts the rows; returns what to compare.
  std::function<Written(Database&)> write;
};

void PrintTo(const ValueCase& c, std::ostream* out) { *out << c.name; }

// Inserts one row per text into `column` of `table`, in one unit.
Written InsertTexts(Database& db, const std::string& table, const std::string& column,
                    std::vector<std::string> texts) {
  auto def = db.GetTable(table);
  EXPECT_TRUE(def.ok()) << def.status().ToString();
  EXPECT_TRUE(db.Begin().ok());
  for (const std::string& text : texts) {
    std::vector<Value> values(def->columns.size());
    values[ColumnIndex(*def, column)] = Value::Bytes(Value::Kind::kText, text);
    auto inserted = db.Insert(*def, values);
    EXPECT_TRUE(inserted.ok()) << inserted.status().ToString();
    if (!inserted.ok()) break;
  }
  EXPECT_TRUE(db.Commit().ok());
  return {table, column, std::move(texts)};
}

// 20 short keys and 8 of ~500 bytes, then 300 more mixed and shuffled: leaf
// and node pages split where the bytes fit, not at half their entries.
std::vector<std::string> MixedLengthKeys(const std::string& long_piece) {
  std::vector<std::string> keys;
  for (int i = 0; i < 20; ++i) keys.push_back("a" + std::to_string(1000 + i));
  for (int i = 0; i < 8; ++i) {
    keys.push_back("b" + std::to_string(1000 + i) + Times(250, long_piece));
  }
  std::vector<std::string> more;
  for (int i = 0; i < 300; ++i) {
    more.push_back("c" + std::to_string(1000 + i) + (i % 3 == 0 ? Times(240, long_piece) : ""));
  }
  std::shuffle(more.begin(), more.end(), std::mt19937(25));
  keys.insert(keys.end(), more.begin(), more.end());
  return keys;
}

TableDesign KeyTable(const char* name, ColumnType type, uint16_t length, bool memo = false) {
  TableDesign d;
  d.name = name;
  d.columns = {{"id", ColumnType::kLong, 0, true}, {"x", type, length}};
  if (memo) d.columns.push_back({"m", ColumnType::kMemo});
  d.indexes = {{"PrimaryKey", {{"id"}}, true}, {"xi", {{"x"}}}};
  return d;
}

const ValueCase kCases[] = {
    {"TextAndMemoBeginningWithFeff", JetVersion::kJet4, "",
     KeyTable("t", ColumnType::kText, 50, true),
     [](Database& db) {
       std::vector<std::string> texts = {kBom + "ABC", kBom + "אב", kBom, kBom + kBom + "x",
                                         "A" + kBom + "C", kBom + "naïve – “ok” 日本"};
       auto def = db.GetTable("t");
       EXPECT_TRUE(db.Begin().ok());
       // The memo takes the text too, and one past the 1024 characters of
       // Access's compressed memos, on long-value pages.
       std::vector<std::string> memos = texts;
       memos.push_back(kBom + Times(3000, "Ωa"));
       for (size_t i = 0; i < memos.size(); ++i) {
         std::vector<Value> values(def->columns.size());
         if (i < texts.size()) {
           values[ColumnIndex(*def, "x")] = Value::Bytes(Value::Kind::kText, texts[i]);
         }
         values[ColumnIndex(*def, "m")] = Value::Bytes(Value::Kind::kText, memos[i]);
         EXPECT_TRUE(db.Insert(*def, values).ok());
       }
       EXPECT_TRUE(db.Commit().ok());
       return Written{"t", "m", memos};
     }},
    // Events.EventName allows compressed text (Access's designer sets it).
    {"FeffInACompressibleIndexedColumn", JetVersion::kJet4, "fixtures/tessdata-2009.mdb", {},
     [](Database& db) {
       return InsertTexts(db, "Events", "EventName",
                          {kBom + "Ostern", kBom + "Пасха", kBom + "é"});
     }},
    {"EmptyBinaryKeysSortFirst", JetVersion::kJet4, "", KeyTable("b", ColumnType::kBinary, 10),
     [](Database& db) {
       auto def = db.GetTable("b");
       EXPECT_TRUE(db.Begin().ok());
       // One empty value: the checker's seek compares Binary values by
       // identity, so it never finds a repeated one again.
       for (std::string bytes :
            {"\x00"s, ""s, "\x01\x02"s, "\x00\x00\x00\x00\x00\x00\x00\x00\x01"s}) {
         std::vector<Value> values(def->columns.size());
         values[ColumnIndex(*def, "x")] = Value::Bytes(Value::Kind::kBinary, bytes);
         EXPECT_TRUE(db.Insert(*def, values).ok());
       }
       EXPECT_TRUE(db.Commit().ok());
       return Written{};
     }},
    {"LongAndShortTextKeysJet4", JetVersion::kJet4, "", KeyTable("t", ColumnType::kText, 255),
     [](Database& db) { return InsertTexts(db, "t", "x", MixedLengthKeys("é")); }},
    // ASCII only: the index checker encodes Access 97 keys of other letters
    // its own way.
    {"LongAndShortTextKeysJet3", JetVersion::kJet3, "", KeyTable("t", ColumnType::kText, 255),
     [](Database& db) { return InsertTexts(db, "t", "x", MixedLengthKeys("x")); }},
    // Access pads fixed-length text with spaces; "" becomes all spaces.
    {"EmptyTextInAFixedLengthColumn", JetVersion::kJet4, "corpus/fixedTextTestV2000.mdb", {},
     [](Database& db) {
       auto def = db.GetTable("users");
       std::vector<Value> values(def->columns.size());
       for (size_t i = 0; i < values.size(); ++i) {
         values[i] = def->columns[i].type == ColumnType::kText
                         ? Value::Bytes(Value::Kind::kText, "")
                     : def->columns[i].type == ColumnType::kDateTime
                         ? Value::Real(Value::Kind::kDateTime, 40000.5)
                         : Value::Integer(Value::Kind::kLong, 3);
       }
       auto inserted = db.Insert(*def, values);
       EXPECT_TRUE(inserted.ok()) << inserted.status().ToString();
       return Written{"users", "c_flag_", {" "}};
     }},
};

// The text column's values through mdb-json, in table order.
std::vector<std::string> MdbJsonTexts(const std::string& path, const Written& w) {
  auto r = RunProcess({"mdb-json", path, w.table});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> texts;
  size_t start = 0;
  for (size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
    auto row = nlohmann::json::parse(r.out.substr(start, end - start));
    if (row.contains(w.column)) texts.push_back(row[w.column].get<std::string>());
  }
  return texts;
}

class StoredValuesTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(StoredValuesTest, EveryReaderReadsWhatWasWritten) {
  const ValueCase& c = GetParam();
  const std::filesystem::path dir = tessaly::testing::MakeTempFolder("jet_values");
  const std::string path = (dir / "values.mdb").string();
  Written w;
  {
    std::unique_ptr<Database> db;
    if (*c.fixture != '\0') {
      const std::string fixture = c.fixture;
      const size_t slash = fixture.find('/');
      std::filesystem::copy_file(
          tessaly::testing::SharedPath(fixture.substr(0, slash), fixture.substr(slash + 1)), path);
      std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add);
      db = testing::OpenForWriting(path, /*sync=*/false);
    } else {
      CreateOptions options;
      options.version = c.version;
      options.open.sync = false;
      db = std::move(Database::Create(path, options).value());
      ASSERT_TRUE(db->CreateTable(c.design).ok());
    }
    ASSERT_TRUE(db);
    w = c.write(*db);
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(db->Close().ok());
  }
  auto db = Database::Open(path);
  ASSERT_TRUE(db.ok());
  auto problems = (*db)->Check();
  ASSERT_TRUE(problems.ok());
  EXPECT_THAT(*problems, ::testing::IsEmpty());
  std::vector<std::string> ours;
  if (!w.table.empty()) {
    auto def = (*db)->GetTable(w.table);
    auto scan = (*db)->Scan(*def);
    Row row;
    Status s;
    while ((*scan)->Next(&row, &s)) {
      const Value& v = row.values[ColumnIndex(*def, w.column)];
      if (!v.is_null()) ours.push_back(std::string(v.text()));
    }
    // A fixture's rows come first.
    ASSERT_GE(ours.size(), w.texts.size());
    ours.erase(ours.begin(), ours.end() - static_cast<ptrdiff_t>(w.texts.size()));
    EXPECT_EQ(ours, w.texts);
  }
  if (!tessaly::testing::kLinuxOracles) return;
  if (!w.table.empty()) {
    std::vector<std::string> theirs = MdbJsonTexts(path, w);
    ASSERT_GE(theirs.size(), w.texts.size());
    theirs.erase(theirs.begin(), theirs.end() - static_cast<ptrdiff_t>(w.texts.size()));
    EXPECT_EQ(theirs, w.texts);
  }
  auto check = tessaly::testing::RunJetcheck(path);
  std::filesystem::remove_all(dir);
  if (check.java_missing) GTEST_SKIP() << "java is missing: " << check.error;
  EXPECT_TRUE(check.passed()) << check.output << check.error;
}

INSTANTIATE_TEST_SUITE_P(Values, StoredValuesTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jet
