// Index keys: hand-checked examples, and the proof that matters: for every
// stored index over supported column types in the shared Access files, the
// keys we compute from the rows equal the stored entries byte for byte.
#include "jet/index/index_key.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include <gtest/gtest.h>

#include "jet/base/coding.h"
#include "jet/format/format.h"
#include "jet/index/index_page.h"
#include "jet/index/index_tree.h"
#include "jet/testing/rebuild_indexes.h"
#include "jet/testing/test_util.h"
#include "support/jetcheck.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using testing::Hex;

TableDef OneColumnTable(ColumnType type) {
  TableDef t;
  t.name = "T";
  ColumnDef c;
  c.name = "C";
  c.type = type;
  c.column_number = 3;
  c.sort_order = 0x0409;  // text: General
  c.precision = 18;       // Numeric
  c.scale = 2;
  t.columns.push_back(c);
  return t;
}

IndexDef IndexOn(bool ascending) {
  IndexDef index;
  index.name = "IX";
  index.columns.push_back(IndexColumnDef{3, "C", ascending});
  return index;
}

constexpr std::array<uint8_t, 16> kGuid = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

Decimal Dec(bool negative, uint32_t low_word, uint8_t scale) {
  Decimal d;
  d.negative = negative;
  d.scale = scale;
  d.magnitude[3] = low_word;
  return d;
}

struct KeyCase {
  ColumnType type;
  bool ascending;
  Value value;
  const char* hex;
};

TEST(IndexKeyTest, EncodesEachTypeAsAccessStoresIt) {
  using K = Value::Kind;
  const KeyCase cases[] = {
      {ColumnType::kLong, true, Value::Integer(K::kLong, 0), "7F 80 00 00 00"},
      {ColumnType::kLong, true, Value::Integer(K::kLong, 49), "7F 80 00 00 31"},
      {ColumnType::kLong, true, Value::Integer(K::kLong, -45), "7F 7F FF FF D3"},
      {ColumnType::kLong, false, Value::Integer(K::kLong, 49), "80 7F FF FF CE"},
      {ColumnType::kLong, true, Value::Null(), "00"},
      {ColumnType::kLong, false, Value::Null(), "FF"},
      {ColumnType::kInteger, true, Value::Integer(K::kInteger, -1), "7F 7F FF"},
      {ColumnType::kByte, true, Value::Integer(K::kByte, 200), "7F C8"},
      {ColumnType::kByte, false, Value::Integer(K::kByte, 200), "80 37"},
      {ColumnType::kCurrency, true, Value::Integer(K::kCurrency, 10000),
       "7F 80 00 00 00 00 00 27 10"},
      {ColumnType::kDouble, true, Value::Real(K::kDouble, 1.0), "7F BF F0 00 00 00 00 00 00"},
      {ColumnType::kDouble, true, Value::Real(K::kDouble, -1.0), "7F 40 0F FF FF FF FF FF FF"},
      {ColumnType::kDouble, false, Value::Real(K::kDouble, 1.0), "80 40 0F FF FF FF FF FF FF"},
      {ColumnType::kSingle, true, Value::Real(K::kSingle, 1.0), "7F BF 80 00 00"},
      {ColumnType::kDateTime, true, Value::Real(K::kDateTime, 0.0), "7F 80 00 00 00 00 00 00 00"},
      {ColumnType::kBoolean, true, Value::Boolean(true), "7F 00"},
      {ColumnType::kBoolean, true, Value::Boolean(false), "7F FF"},
      {ColumnType::kBoolean, false, Value::Boolean(true), "80 FF"},
      {ColumnType::kLong, true, Value::Integer(K::kInteger, 7), "7F 80 00 00 07"},
      {ColumnType::kText, true, Value::Bytes(K::kText, "Row10 "), "7F 69 64 73 38 36 01 00"},
      {ColumnType::kMemo, false, Value::Bytes(K::kText, "row10"), "80 96 9B 8C C7 C9 FE FF 00"},
      {ColumnType::kText, false, Value::Null(), "FF"},
      {ColumnType::kGuid, true, Value::Guid(kGuid),
       "7F 03 02 01 00 05 04 07 06 09 08 09 0A 0B 0C 0D 0E 0F 08"},
      {ColumnType::kGuid, false, Value::Guid(kGuid),
       "80 FC FD FE FF FA FB F8 F9 09 F7 F6 F5 F4 F3 F2 F1 F0 F7"},
      {ColumnType::kBinary, true, Value::Bytes(K::kBinary, "abc"), "7F 61 62 63 00 00 00 00 00 03"},
      {ColumnType::kBinary, false, Value::Bytes(K::kBinary, "abc"),
       "80 9E 9D 9C FF FF FF FF FF FC"},
      {ColumnType::kBinary, true, Value::Bytes(K::kBinary, "12345678"),
       "7F 31 32 33 34 35 36 37 38 08"},
      {ColumnType::kBinary, false, Value::Bytes(K::kBinary, "123456789"),
       "80 CE CD CC CB CA C9 C8 C7 09 C6 FF FF FF FF FF FF FF FE"},
      {ColumnType::kBinary, true, Value::Bytes(K::kBinary, ""), "7F"},
      // Numeric at scale 2: 1.5 is 150 (0x96); 15 at scale 1 is rescaled.
      {ColumnType::kNumeric, true, Value::Dec(Dec(false, 15, 1)),
       "7F FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 96"},
      {ColumnType::kNumeric, true, Value::Dec(Dec(true, 15, 1)),
       "7F 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 69"},
      {ColumnType::kNumeric, false, Value::Dec(Dec(false, 150, 2)),
       "80 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 69"},
      {ColumnType::kNumeric, false, Value::Dec(Dec(true, 150, 2)),
       "80 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 96"},
      {ColumnType::kNumeric, true, Value::Integer(K::kLong, -1),
       "7F 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 9B"},
      {ColumnType::kNumeric, true, Value::Dec(Dec(true, 0, 2)),
       "7F FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
  };
  for (const KeyCase& c : cases) {
    TableDef t = OneColumnTable(c.type);
    std::string key;
    ASSERT_TRUE(EncodeIndexKey(t, IndexOn(c.ascending), {c.value}, &key).ok());
    EXPECT_EQ(Hex(key), c.hex) << ColumnTypeName(c.type) << (c.ascending ? " asc" : " desc");
  }
}

TEST(IndexKeyTest, RefusesWhatItCannotEncode) {
  TableDef t = OneColumnTable(ColumnType::kText);
  t.columns[0].name = "EventName";
  t.columns[0].sort_order = 0x0405;
  IndexDef index = IndexOn(true);
  index.name = "ByName";
  std::string why, key;
  EXPECT_FALSE(IndexKeysSupported(t, index, JetVersion::kJet4, &why));
  EXPECT_NE(why.find("index ByName of table T: column EventName (Text) uses sort order 0x0405"),
            std::string::npos)
      << why;
  EXPECT_EQ(EncodeIndexKey(t, index, {Value::Null()}, &key).code(), StatusCode::kNotSupported);
  t.columns[0].sort_order = 0x0409;
  t.columns[0].code_page = 1252;  // an Access 97 column: General 97 keys only
  EXPECT_FALSE(IndexKeysSupported(t, index, JetVersion::kJet4, &why));
  EXPECT_NE(why.find("column EventName is an Access 97 text column"), std::string::npos) << why;
  EXPECT_TRUE(
      EncodeIndexKey(t, index, {Value::Bytes(Value::Kind::kText, "AAÿAA")}, &key, JetVersion::kJet3)
          .ok());
  EXPECT_EQ(Hex(key), "7F 60 60 7D 60 60 02 26 00");
  t.columns[0].code_page = 1251;  // the General 97 order is one of code page 1252
  EXPECT_FALSE(IndexKeysSupported(t, index, JetVersion::kJet3, &why));
  EXPECT_NE(why.find("column EventName is in code page 1251"), std::string::npos) << why;
  t.columns[0].code_page = 0;
  Status text =
      EncodeIndexKey(t, index, {Value::Bytes(Value::Kind::kText, "smile \xF0\x9F\x98\x80")}, &key);
  EXPECT_EQ(text.code(), StatusCode::kNotSupported);
  EXPECT_NE(text.message().find("index ByName on column EventName"), std::string::npos)
      << text.message();

  TableDef longs = OneColumnTable(ColumnType::kInteger);
  Status s =
      EncodeIndexKey(longs, IndexOn(true), {Value::Integer(Value::Kind::kLong, 70000)}, &key);
  EXPECT_EQ(s.code(), StatusCode::kInvalidArgument);
  EXPECT_NE(s.message().find("70000"), std::string::npos) << s.message();
}

// ---- Every stored index of the shared files ----

// A Row's values with each '?' of its texts replaced by U+0081. The Jet 3
// reader gives '?' for the bytes cp1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D: testIndexCodesV1997.mdb has them); they share one collation
// row, that of U+0081. `texts` keeps the new strings.
std::vector<Value> WithUndefinedBytes(const Row& row, std::vector<std::string>* texts) {
  std::vector<Value> values = row.values;
  texts->clear();
  texts->reserve(values.size());
  for (Value& v : values) {
    if (v.kind() != Value::Kind::kText) continue;
    std::string text(v.text());
    for (size_t q = 0; (q = text.find('?', q)) != std::string::npos;) text.replace(q, 1, "\u0081");
    texts->push_back(std::move(text));
    v = Value::Bytes(Value::Kind::kText, texts->back());
  }
  return values;
}

// Every index of every shared file, Jet 4 and Jet 3, whose columns we encode:
// the keys built from its table's rows, with their row pointers, are exactly
// the stored entries.
TEST(IndexKeyTest, ComputedEntriesEqualStoredOnesInEverySharedFile) {
  size_t indexes[2] = {}, entries[2] = {};  // [jet3]
  size_t skipped = 0, undefined_rows = 0;
  std::set<std::string> kinds;  // column types and directions the files exercise
  std::vector<std::string> failures;
  for (const std::string& path : tessaly::testing::SharedDatabases()) {
    auto image = ReadWholeFile(path);
    ASSERT_TRUE(image.ok()) << path;
    auto db = Database::OpenImage(*image);
    ASSERT_TRUE(db.ok()) << path << ": " << db.status().ToString();
    const JetVersion version = (*db)->info().version;
    const bool jet3 = version == JetVersion::kJet3;
    PageFile file(*image);
    ASSERT_TRUE(file.SetPageSize((*db)->info().page_size).ok());
    auto names = (*db)->UserTableNames();
    ASSERT_TRUE(names.ok());
    for (const std::string& name : *names) {
      auto table = (*db)->GetTable(name);
      ASSERT_TRUE(table.ok()) << path << " " << name;
      struct Proof {
        const IndexDef* index;
        std::multiset<std::string> stored, computed;
      };
      std::vector<Proof> proofs;
      std::set<uint32_t> done;
      for (const IndexDef& index : table->indexes) {
        if (!done.insert(index.physical_index).second) continue;
        if (!IndexKeysSupported(*table, index, version, nullptr)) {
          ++skipped;
          continue;
        }
        Proof proof{&index, {}, {}};
        std::vector<IndexEntry> leaf;
        ASSERT_TRUE(ReadIndexEntries(file, FormatFor(version), index.root_page, &leaf).ok())
            << path << " " << name << "." << index.name;
        for (const IndexEntry& e : leaf) proof.stored.insert(e.SortBytes());
        proofs.push_back(std::move(proof));
      }
      if (proofs.empty()) continue;
      auto cursor = (*db)->Scan(*table);
      ASSERT_TRUE(cursor.ok());
      Row row;
      Status s;
      std::vector<std::string> texts;
      while ((*cursor)->Next(&row, &s)) {
        for (Proof& p : proofs) {
          if (p.index->IgnoresNulls() && IndexColumnsAllNull(*table, *p.index, row.values))
            continue;
          IndexEntry e;
          e.page = row.page;
          e.row = row.slot;
          Status k = EncodeIndexKey(*table, *p.index, row.values, &e.key, version);
          ASSERT_TRUE(k.ok()) << path << " " << name << "." << p.index->name << ": "
                              << k.ToString();
          if (jet3 && p.stored.count(e.SortBytes()) == 0) {
            IndexEntry undefined = e;
            auto values = WithUndefinedBytes(row, &texts);
            if (EncodeIndexKey(*table, *p.index, values, &undefined.key, version).ok() &&
                p.stored.count(undefined.SortBytes()) != 0) {
              e = undefined;
              ++undefined_rows;
            }
          }
          p.computed.insert(e.SortBytes());
        }
      }
      ASSERT_TRUE(s.ok()) << path << " " << name << ": " << s.ToString();
      for (const Proof& p : proofs) {
        const std::string where =
            std::filesystem::path(path).filename().string() + " " + name + "." + p.index->name;
        if (p.stored != p.computed) {
          std::vector<std::string> only_stored, only_computed;
          std::set_difference(p.stored.begin(), p.stored.end(), p.computed.begin(),
                              p.computed.end(), std::back_inserter(only_stored));
          std::set_difference(p.computed.begin(), p.computed.end(), p.stored.begin(),
                              p.stored.end(), std::back_inserter(only_computed));
          failures.push_back(where + ": stored " +
                             (only_stored.empty() ? "-" : Hex(only_stored[0])) + ", computed " +
                             (only_computed.empty() ? "-" : Hex(only_computed[0])));
          continue;
        }
        ++indexes[jet3];
        entries[jet3] += p.stored.size();
        for (const IndexColumnDef& ic : p.index->columns) {
          for (const ColumnDef& c : table->columns) {
            if (c.column_number == ic.column_number) {
              kinds.insert(std::string(jet3 ? "J3 " : "J4 ") + ColumnTypeName(c.type) +
                           (ic.ascending ? " asc" : " desc"));
            }
          }
        }
      }
    }
  }
  std::string seen;
  for (const std::string& k : kinds) seen += " [" + k + "]";
  std::printf(
      "indexes matched byte for byte: Jet 4 %zu (%zu entries), Jet 3 %zu (%zu entries, %zu"
      " rows with undefined cp1252 bytes); %zu indexes have unsupported columns\n"
      "columns seen:%s\n",
      indexes[0], entries[0], indexes[1], entries[1], undefined_rows, skipped, seen.c_str());
  for (const std::string& f : failures) std::printf("MISMATCH %s\n", f.c_str());
  EXPECT_TRUE(failures.empty());
  EXPECT_GT(indexes[0], 40u);
  EXPECT_GT(indexes[1], 0u);
}

// Of the shared files only testIndexCodesV1997.mdb (Jet 3) indexes every
// number type; the Jet 4 ones index Long and DateTime. To prove the others in
// Jet 4, EventDates (a Long and a DateTime column, each indexed) is retyped
// in memory to same-width-or-narrower types, asc or desc, its two indexes are
// rebuilt from the rows with our keys, and the independent checker must find
// every row again by seeking its key. As a control, keys built for Integer in
// a column that says Long must fail.
struct Retype {
  ColumnType id_type, date_type;
  bool descending;
  bool keys_as_stored;  // false: keys built before the column is retyped (control)
};

uint16_t StoredSize(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean:
    case ColumnType::kByte: return 1;
    case ColumnType::kInteger: return 2;
    case ColumnType::kLong:
    case ColumnType::kSingle: return 4;
    default: return 8;
  }
}

void Patch(std::string* image, uint32_t tdef_page, ColumnType id_type, ColumnType date_type,
           bool descending) {
  const Format& f = kJet4Format;
  uint8_t* p = reinterpret_cast<uint8_t*>(image->data()) + tdef_page * f.page_size;
  const uint16_t columns = ReadU16(p + f.tdef_num_cols_offset);
  const uint32_t physical = ReadU32(p + f.tdef_num_real_idx_offset);
  uint8_t* column = p + f.tdef_header_size + physical * f.tdef_index_count_entry_size;
  uint8_t* at = column + columns * f.column_size;
  for (uint16_t c = 0; c < columns; ++c, column += f.column_size) {
    ColumnType type = ReadU16(column + f.column_number_offset) == 0 ? id_type : date_type;
    column[0] = static_cast<uint8_t>(type);
    WriteU16(column + f.column_length_offset, StoredSize(type));
    at += 2 + ReadU16(at);  // its name
  }
  for (uint32_t i = 0; descending && i < physical; ++i) {
    at[i * f.physical_index_size + f.physical_index_columns_offset + 2] &= 0xFE;
  }
}

TEST(IndexKeyTest, CheckerFindsEveryRowByOurKeysForEveryNumberType) {
  using T = ColumnType;
  const Retype cases[] = {
      {T::kLong, T::kDateTime, true, true},    {T::kInteger, T::kDouble, false, true},
      {T::kInteger, T::kDouble, true, true},   {T::kByte, T::kCurrency, false, true},
      {T::kByte, T::kCurrency, true, true},    {T::kSingle, T::kCurrency, false, true},
      {T::kSingle, T::kDouble, true, true},    {T::kBoolean, T::kDateTime, false, true},
      {T::kBoolean, T::kDateTime, true, true}, {T::kInteger, T::kDateTime, false, false},
  };
  tessaly::testing::SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  auto original = ReadWholeFile(copy.path().string());
  ASSERT_TRUE(original.ok());
  for (const Retype& c : cases) {
    const std::string what = ColumnTypeName(c.id_type) + "/" + ColumnTypeName(c.date_type) +
                             (c.descending ? " desc" : " asc");
    std::string image = *original;
    auto db = Database::OpenImage(image);
    ASSERT_TRUE(db.ok());
    auto table = (*db)->GetTable("EventDates");
    ASSERT_TRUE(table.ok());
    Patch(&image, table->tdef_page, c.id_type, c.date_type, c.descending);
    db = Database::OpenImage(image);
    ASSERT_TRUE(db.ok());
    table = (*db)->GetTable("EventDates");
    std::string written = image;
    const Status rebuilt = testing::RebuildIndexes(
        **db, *table, [](const Row& row) { return row.values; }, &written);
    ASSERT_TRUE(rebuilt.ok()) << what << ": " << rebuilt.ToString();
    if (!c.keys_as_stored) Patch(&written, table->tdef_page, T::kLong, T::kDateTime, false);
    std::ofstream(copy.path(), std::ios::binary | std::ios::trunc) << written;
    auto check = tessaly::testing::RunJetcheck(copy.path());
    if (check.java_missing) GTEST_SKIP() << check.error;
    EXPECT_EQ(check.passed(), c.keys_as_stored) << what << "\n" << check.output << check.error;
  }
}

}  // namespace
}  // namespace jet
