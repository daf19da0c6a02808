// Values whose stored form has a trap, written through the engine and read
// back by our reader, mdbtools and the independent index checker: text and
// memos beginning with U+FEFF (their plain form begins FF FE, the mark of
// compressed text), an empty Binary value in an index (a key that is a
// prefix of the others), text keys of very different lengths (pages split
// by their bytes), and "" in a fixed-length text column.
#include <algorithm>
#include <random>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "jet/database.h"
#include "jet/testing/test_util.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"
#include "support/temp_folder.h"

namespace jet {
namespace {

using namespace std::string_literals;

const std::string kBom = "\xEF\xBB\xBF";

std::string Times(int n, const std::string& piece) {
  std::string s;
  for (int i = 0; i < n; ++i) s += piece;
  return s;
}

// 20 short keys and 8 of ~500 bytes, then 300 more, mixed and shuffled:
// leaf and node pages split where their bytes fit.
std::vector<std::string> MixedLengthKeys(const std::string& piece) {
  std::vector<std::string> keys, more;
  for (int i = 0; i < 20; ++i) keys.push_back("a" + std::to_string(1000 + i));
  for (int i = 0; i < 8; ++i) keys.push_back("b" + std::to_string(1000 + i) + Times(250, piece));
  for (int i = 0; i < 300; ++i) {
    more.push_back("c" + std::to_string(1000 + i) + (i % 3 == 0 ? Times(240, piece) : ""));
  }
  std::shuffle(more.begin(), more.end(), std::mt19937(25));
  keys.insert(keys.end(), more.begin(), more.end());
  return keys;
}

struct ValueCase {
  const char* name;
  JetVersion version;
  std::string fixture;  // "folder/name" to copy; "" for a new table t (id, x) with x indexed
  ColumnType type;      // of x
  uint16_t length;
  std::string table, column;
  std::vector<std::string> values;     // one row each
  std::vector<std::string> read = {};  // what every reader gives back (empty: `values`)
};

const ValueCase kCases[] = {
    {"TextBeginningWithFeff",
     JetVersion::kJet4,
     "",
     ColumnType::kText,
     50,
     "t",
     "x",
     {kBom + "ABC", kBom + "אב", kBom, kBom + kBom + "x", "A" + kBom + "C",
      kBom + "é – “ok” 日本"}},
    {"MemoBeginningWithFeff",
     JetVersion::kJet4,
     "",
     ColumnType::kMemo,
     0,
     "t",
     "x",
     {kBom + "Ostern", kBom + Times(3000, "Ωa")}},  // past 1024 chars, on long-value pages
    // One empty value: the checker's seek compares Binary values by identity.
    {"EmptyBinaryKeySortsFirst",
     JetVersion::kJet4,
     "",
     ColumnType::kBinary,
     10,
     "t",
     "x",
     {"\x00"s, ""s, "\x01\x02"s, "\x00\x00\x00\x00\x00\x00\x00\x00\x01"s}},
    {"LongAndShortTextKeysJet4", JetVersion::kJet4, "", ColumnType::kText, 255, "t", "x",
     MixedLengthKeys("é")},
    // ASCII: the checker encodes Access 97 keys of other letters its own way.
    {"LongAndShortTextKeysJet3", JetVersion::kJet3, "", ColumnType::kText, 255, "t", "x",
     MixedLengthKeys("x")},
    // Access pads fixed-length text with spaces.
    {"EmptyTextInAFixedLengthColumn",
     JetVersion::kJet4,
     "corpus/fixedTextTestV2000.mdb",
     ColumnType::kText,
     0,
     "users",
     "c_flag_",
     {""},
     {" "}},
};

void PrintTo(const ValueCase& c, std::ostream* out) { *out << c.name; }

// A value for a required column of the fixture.
Value Filler(const ColumnDef& c) {
  if (c.type == ColumnType::kText) return Value::Bytes(Value::Kind::kText, "");
  if (c.type == ColumnType::kDateTime) return Value::Real(Value::Kind::kDateTime, 40000.5);
  return Value::Integer(Value::Kind::kLong, 3);
}

class StoredValuesTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(StoredValuesTest, EveryReaderReadsWhatWasWritten) {
  const ValueCase& c = GetParam();
  const tessaly::testing::TempFolder folder("jet_values");  // gone whatever the outcome
  const std::string path = (folder.path() / "values.mdb").string();
  const bool text = c.type != ColumnType::kBinary;
  const Value::Kind kind = text ? Value::Kind::kText : Value::Kind::kBinary;
  {
    std::unique_ptr<Database> db;
    if (!c.fixture.empty()) {
      const size_t slash = c.fixture.find('/');
      const tessaly::testing::SharedFileCopy copy(c.fixture.substr(0, slash),
                                                  c.fixture.substr(slash + 1));
      std::filesystem::copy_file(copy.path(), path);
      db = testing::OpenForWriting(path, /*sync=*/false);
    } else {
      CreateOptions options;
      options.version = c.version;
      options.open.sync = false;
      db = std::move(Database::Create(path, options).value());
      TableDesign t{"t",
                    {{"id", ColumnType::kLong, 0, true}, {"x", c.type, c.length}},
                    {{"PrimaryKey", {{"id"}}, true}}};
      if (c.type != ColumnType::kMemo) t.indexes.push_back({"xi", {{"x"}}});
      ASSERT_TRUE(db->CreateTable(t).ok());
    }
    ASSERT_TRUE(db);
    auto def = db->GetTable(c.table);
    ASSERT_TRUE(db->Begin().ok());
    for (const std::string& value : c.values) {
      std::vector<Value> row(def->columns.size());
      for (size_t i = 0; i < row.size(); ++i) {
        if (def->columns[i].required) row[i] = Filler(def->columns[i]);
      }
      row[testing::ColumnIndex(*def, c.column)] = Value::Bytes(kind, value);
      auto inserted = db->Insert(*def, row);
      ASSERT_TRUE(inserted.ok()) << inserted.status().ToString();
    }
    ASSERT_TRUE(db->Commit().ok() && db->Close().ok());
  }
  const std::vector<std::string>& expected = c.read.empty() ? c.values : c.read;
  // The rows written, the last of the table: ours, then mdbtools'.
  auto last = [&](std::vector<std::string> all) {
    all.erase(all.begin(), all.end() - std::min(all.size(), expected.size()));
    return all;
  };
  auto db = Database::Open(path);
  ASSERT_TRUE(db.ok());
  EXPECT_THAT(*(*db)->Check(), ::testing::IsEmpty());
  std::vector<std::string> ours;
  auto def = (*db)->GetTable(c.table);
  auto scan = (*db)->Scan(*def);
  Row row;
  Status s;
  while ((*scan)->Next(&row, &s)) {
    ours.push_back(std::string(row.values[testing::ColumnIndex(*def, c.column)].text()));
  }
  EXPECT_EQ(last(ours), expected);
  if (!tessaly::testing::kLinuxOracles) return;
  if (text) {
    auto r = tessaly::testing::RunProcess({"mdb-json", path, c.table});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> theirs;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      theirs.push_back(nlohmann::json::parse(line)[c.column].get<std::string>());
    }
    EXPECT_EQ(last(theirs), expected);
  }
  auto check = tessaly::testing::RunJetcheck(path);
  if (check.java_missing) GTEST_SKIP() << "java is missing: " << check.error;
  EXPECT_TRUE(check.passed()) << check.output << check.error;
}

INSTANTIATE_TEST_SUITE_P(Values, StoredValuesTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jet
