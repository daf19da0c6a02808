// Row encoding: value checks, rows read back by RowDecoder, stored rows
// re-encoded byte for byte, every row of the shared files re-encoded, and
// memo/OLE values written into a copy of the calendar file.
#include "jet/row_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>

#include "jet/catalog.h"
#include "jet/coding.h"
#include "jet/data_page.h"
#include "jet/header.h"
#include "jet/long_value.h"
#include "jet/long_value_writer.h"
#include "jet/row_codec.h"
#include "jet/table_def.h"
#include "jet/text_encode.h"
#include "jet/usage_map.h"

namespace jet {
namespace {

using Kind = Value::Kind;

ColumnDef Col(const char* name, ColumnType type, uint16_t number, uint16_t offset_or_slot,
              uint16_t length, bool fixed) {
  ColumnDef c;
  c.name = name;
  c.type = type;
  c.column_number = number;
  c.length = length;
  c.flags = fixed ? 0x03 : 0x02;
  c.ext_flags = 0x01;
  (fixed ? c.fixed_offset : c.var_index) = offset_or_slot;
  return c;
}

// Column 3 and var slot 1 belong to a deleted column.
TableDef EventsTable() {
  TableDef t;
  t.name = "Events";
  t.max_cols = 14;
  t.num_var_cols = 4;
  t.columns = {Col("EventID", ColumnType::kLong, 0, 0, 4, true),
               Col("EventColor", ColumnType::kText, 1, 0, 100, false),
               Col("AllDayEvent", ColumnType::kBoolean, 2, 0, 1, true),
               Col("StartTime", ColumnType::kDateTime, 4, 4, 8, true),
               Col("Notes", ColumnType::kMemo, 5, 2, 0, false),
               Col("Fee", ColumnType::kCurrency, 6, 12, 8, true),
               Col("Ratio", ColumnType::kSingle, 7, 20, 4, true),
               Col("Weight", ColumnType::kDouble, 8, 24, 8, true),
               Col("Level", ColumnType::kByte, 9, 32, 1, true),
               Col("Rank", ColumnType::kInteger, 10, 33, 2, true),
               Col("Key", ColumnType::kGuid, 11, 35, 16, true),
               Col("Amount", ColumnType::kNumeric, 12, 51, 17, true),
               Col("Blob", ColumnType::kBinary, 13, 3, 20, false)};
  t.columns[11].precision = 10;
  t.columns[11].scale = 2;
  return t;
}

Decimal Dec(bool negative, uint32_t low, uint8_t scale) {
  Decimal d;
  d.negative = negative;
  d.scale = scale;
  d.magnitude = {0, 0, 0, low};
  return d;
}

bool SameValue(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Kind::kNull: return true;
    case Kind::kSingle: case Kind::kDouble: case Kind::kDateTime:
      return std::bit_cast<uint64_t>(a.real()) == std::bit_cast<uint64_t>(b.real());
    case Kind::kText: case Kind::kBinary: return a.text() == b.text();
    case Kind::kGuid: return a.guid() == b.guid();
    case Kind::kDecimal:
      return a.decimal().negative == b.decimal().negative && a.decimal().magnitude == b.decimal().magnitude;
    default: return a.integer() == b.integer();
  }
}

std::vector<FieldInput> Inputs(const std::vector<Value>& values) {
  std::vector<FieldInput> fields;
  for (const Value& v : values) fields.push_back(FieldInput::Of(v));
  return fields;
}

struct CheckCase {
  size_t column;
  Value value;
  const char* error;  // "" when the value fits
};

TEST(CheckValueTest, KindsRangesAndLengths) {
  const TableDef t = EventsTable();
  const std::string text50(50, 'x'), text51(51, 'x'), bytes21(21, 'b'), memo(70000, 'm');
  const CheckCase cases[] = {
      {1, Value::Bytes(Kind::kText, text51),
       "table Events, column EventColor: text of 51 characters is longer than the column's 50"},
      {1, Value::Bytes(Kind::kText, text50), ""},
      {1, Value::Bytes(Kind::kText, "\xC3"), "column EventColor: text is not valid UTF-8"},
      {1, Value::Integer(Kind::kLong, 5), "column EventColor: 5 cannot be stored in a Text column"},
      {0, Value::Integer(Kind::kByte, 7), ""},
      {0, Value::Integer(Kind::kCurrency, 70000), ""},
      {0, Value::Integer(Kind::kCurrency, 70001), "the currency amount 7.0001 is not a whole number"},
      {0, Value::Integer(Kind::kLong, 1ll << 31), "2147483648 is out of range for a Long column"},
      {0, Value::Real(Kind::kDouble, 1.0), "column EventID: 1 cannot be stored in a Long column"},
      {8, Value::Integer(Kind::kInteger, 256), "256 is out of range for a Byte column (0 to 255)"},
      {8, Value::Integer(Kind::kInteger, -1), "out of range for a Byte column"},
      {9, Value::Integer(Kind::kLong, -32768), ""},
      {9, Value::Integer(Kind::kLong, 32768), "out of range for a Integer column"},
      {5, Value::Real(Kind::kDouble, 1e300), "out of range for a Currency column"},
      {6, Value::Real(Kind::kDouble, 1e39), "out of range for a Single column"},
      {3, Value::Real(Kind::kDouble, 40000), "cannot be stored in a DateTime column"},
      {3, Value::Real(Kind::kDateTime, 40000), ""},
      {2, Value::Integer(Kind::kLong, 1), "cannot be stored in a Boolean column"},
      {12, Value::Bytes(Kind::kBinary, bytes21), "binary data of 21 bytes is longer than the column's 20"},
      {4, Value::Bytes(Kind::kBinary, "x"), "binary data of 1 bytes cannot be stored in a Memo column"},
      {4, Value::Bytes(Kind::kText, memo), ""},
      {11, Value::Dec(Dec(false, 9999999999u % 4294967296u, 2)), ""},
      {11, Value::Dec(Dec(false, 123456789, 0)), "123456789 is out of range for a Numeric column"},
      {11, Value::Integer(Kind::kLong, 99999999), ""},
      {10, Value::Bytes(Kind::kText, "{guid}"), "cannot be stored in a GUID column"},
      {1, Value::Null(), ""},
  };
  for (const CheckCase& c : cases) {
    Status s = CheckValue(t, t.columns[c.column], c.value);
    if (*c.error == '\0') {
      EXPECT_TRUE(s.ok()) << s.ToString();
    } else {
      EXPECT_EQ(s.code(), StatusCode::kInvalidArgument) << c.error;
      EXPECT_NE(s.message().find(c.error), std::string::npos) << s.message();
    }
  }
}

class EncodeRowTest : public ::testing::Test {
 protected:
  // Encodes `values` and decodes the row again.
  void RoundTrip(const TableDef& table, const std::vector<Value>& values, uint32_t min_size = 0) {
    ASSERT_TRUE(EncodeRow(kJet4Format, table, Inputs(values), nullptr, min_size, &row_).ok());
    if (min_size > 0) {
      EXPECT_GE(row_.size(), min_size);
    }
    RowDecoder decoder(file_, kJet4Format, text_, table);
    Row out;
    ASSERT_TRUE(decoder.Decode(Bytes(), row_.size(), 9, 0, &out).ok());
    for (size_t i = 0; i < values.size(); ++i) {
      Value expected = values[i];
      if (table.columns[i].type == ColumnType::kBoolean && expected.is_null()) expected = Value::Boolean(false);
      EXPECT_TRUE(SameValue(out.values[i], expected)) << table.columns[i].name;
    }
  }
  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(row_.data()); }

  PageFile file_{std::string(3 * 4096, '\0')};
  TextDecoder text_{1252};
  std::string row_;
};

std::vector<Value> FullRow() {
  std::array<uint8_t, 16> guid;
  for (int k = 0; k < 16; ++k) guid[k] = static_cast<uint8_t>(k * 17);
  return {Value::Integer(Kind::kLong, -5), Value::Bytes(Kind::kText, "Choir \xE2\x80\x93 Practice"),
          Value::Boolean(true), Value::Real(Kind::kDateTime, 40200.75),
          Value::Bytes(Kind::kText, "short memo \xC3\xA9"), Value::Integer(Kind::kCurrency, -1234567),
          Value::Real(Kind::kSingle, 0.5), Value::Real(Kind::kDouble, -1e-300),
          Value::Integer(Kind::kByte, 255), Value::Integer(Kind::kInteger, -300), Value::Guid(guid),
          Value::Dec(Dec(true, 123456, 2)), Value::Bytes(Kind::kBinary, std::string_view("\0\1\2", 3))};
}

TEST_F(EncodeRowTest, EveryTypeReadsBack) {
  const TableDef t = EventsTable();
  RoundTrip(t, FullRow());
  RoundTrip(t, std::vector<Value>(t.columns.size(), Value::Null()));
  std::vector<Value> empty = FullRow();
  empty[1] = Value::Bytes(Kind::kText, "");
  empty[4] = Value::Bytes(Kind::kText, "");
  RoundTrip(t, empty);
}

TEST_F(EncodeRowTest, EveryVarSlotAndTheFullMaskAreWritten) {
  const TableDef t = EventsTable();
  std::vector<Value> values(t.columns.size(), Value::Null());
  ASSERT_TRUE(EncodeRow(kJet4Format, t, Inputs(values), nullptr, 0, &row_).ok());
  RowFields fields;
  ASSERT_TRUE(ParseRowFields(kJet4Format, Bytes(), row_.size(), true, 9, 0, &fields).ok());
  EXPECT_EQ(fields.num_cols, 14u);
  EXPECT_EQ(fields.null_mask_size, 2u);
  EXPECT_EQ(fields.var_count, 4u);
  // Null fixed columns still take their place: fixed area = 51 + 17 bytes.
  EXPECT_EQ(fields.var_offsets[0], 2u + 68u);
  EXPECT_EQ(row_.size(), 2u + 68u + 2u + 8u + 2u + 2u);
}

TEST_F(EncodeRowTest, PaddingKeepsTheSizeAndTheValues) {
  TableDef t = EventsTable();
  RoundTrip(t, FullRow(), 300);
  EXPECT_EQ(row_.size(), 300u);
  t.columns = {t.columns[0], t.columns[2], t.columns[3]};  // fixed columns only
  t.num_var_cols = 0;
  RoundTrip(t, {Value::Integer(Kind::kLong, 9), Value::Boolean(true), Value::Null()}, 40);
  EXPECT_EQ(row_.size(), 40u);
}

TEST_F(EncodeRowTest, RefusesOversizedRowsJet3AndLongMemosWithoutAWriter) {
  TableDef t;
  t.name = "Wide";
  std::vector<Value> values;
  const std::string cjk = [] { std::string s; for (int k = 0; k < 255; ++k) s += "\xE6\x97\xA5"; return s; }();
  for (uint16_t k = 0; k < 9; ++k) {
    t.columns.push_back(Col("T", ColumnType::kText, k, k, 510, false));
    values.push_back(Value::Bytes(Kind::kText, cjk));
  }
  t.max_cols = t.num_var_cols = 9;
  Status s = EncodeRow(kJet4Format, t, Inputs(values), nullptr, 0, &row_);
  EXPECT_EQ(s.code(), StatusCode::kInvalidArgument);
  EXPECT_NE(s.message().find("table Wide: the row needs 4616 bytes"), std::string::npos) << s.message();

  EXPECT_EQ(EncodeRow(kJet3Format, t, Inputs(values), nullptr, 0, &row_).code(), StatusCode::kNotSupported);

  const TableDef events = EventsTable();
  std::vector<Value> row = FullRow();
  const std::string memo(65, 'm');
  row[4] = Value::Bytes(Kind::kText, memo);
  EXPECT_EQ(EncodeRow(kJet4Format, events, Inputs(row), nullptr, 0, &row_).code(), StatusCode::kInvalidArgument);
}

TEST_F(EncodeRowTest, StoredFieldsAreCopiedAndMixWithNewValues) {
  const TableDef t = EventsTable();
  ASSERT_TRUE(EncodeRow(kJet4Format, t, Inputs(FullRow()), nullptr, 0, &row_).ok());
  const std::string original = row_;
  std::vector<StoredField> stored;
  ASSERT_TRUE(SplitStoredRow(kJet4Format, t, Bytes(), row_.size(), 9, 0, &stored).ok());
  std::vector<FieldInput> keep;
  for (const StoredField& f : stored) keep.push_back(FieldInput::Keep(f));
  ASSERT_TRUE(EncodeRow(kJet4Format, t, keep, nullptr, 0, &row_).ok());
  EXPECT_EQ(row_, original);

  std::vector<Value> changed = FullRow();
  changed[1] = Value::Bytes(Kind::kText, "Red");
  keep[1] = FieldInput::Of(changed[1]);
  ASSERT_TRUE(EncodeRow(kJet4Format, t, keep, nullptr, 0, &row_).ok());
  RowDecoder decoder(file_, kJet4Format, text_, t);
  Row out;
  ASSERT_TRUE(decoder.Decode(Bytes(), row_.size(), 9, 0, &out).ok());
  for (size_t i = 0; i < changed.size(); ++i) EXPECT_TRUE(SameValue(out.values[i], changed[i])) << i;
}

// ---- Over the shared files ----

std::string Slurp(const std::string& path) {
  Result<std::string> image = ReadWholeFile(path);
  EXPECT_TRUE(image.ok()) << path << ": " << image.status().ToString();
  return image.ok() ? *image : std::string();
}

struct OpenFile {
  explicit OpenFile(const std::string& path) : file(Slurp(path)) {
    Result<std::string> prefix = file.ReadPrefix(4096);
    EXPECT_TRUE(prefix.ok() && ParseHeader(*prefix, &header).ok()) << path;
    format = &FormatFor(header.version);
    EXPECT_TRUE(file.SetPageSize(header.page_size).ok());
    EXPECT_TRUE(ReadCatalog(file, *format, text, &catalog).ok()) << path;
  }
  PageFile file;
  HeaderInfo header;
  const Format* format = nullptr;
  TextDecoder text{1252};
  Catalog catalog;
};

std::string Hex(const void* data, size_t size) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t k = 0; k < size; ++k) {
    const uint8_t b = static_cast<const uint8_t*>(data)[k];
    out += {kHex[b >> 4], kHex[b & 15], ' '};
  }
  return out;
}
std::string Hex(const std::string& s) { return Hex(s.data(), s.size()); }

bool HasDeletedColumns(const TableDef& table) {
  size_t vars = 0;
  for (const ColumnDef& c : table.columns) vars += !c.IsFixed();
  return table.columns.size() != table.max_cols || vars != table.num_var_cols;
}

bool HasLongValueColumns(const TableDef& table) {
  for (const ColumnDef& c : table.columns) {
    if (c.IsLongValue()) return true;
  }
  return false;
}

struct Counts {
  int rows = 0;
  int same_bytes = 0;
};

// Decodes every live row of every user table, re-encodes it from its values
// and from its stored fields, and checks both.
Counts ReencodeEveryRow(const std::string& path) {
  OpenFile db(path);
  Counts counts;
  EXPECT_TRUE(db.file.BeginUnit().ok());
  for (const CatalogEntry& entry : db.catalog.entries) {
    if (!db.catalog.IsUserTable(entry)) continue;
    TableDef table;
    TableDefExtras extras;
    EXPECT_TRUE(ReadTableDef(db.file, *db.format, db.text, entry.TableDefPage(), &table, &extras).ok());
    table.name = entry.name;
    UsageMap owned;
    EXPECT_TRUE(ReadUsageMap(db.file, *db.format, table.owned_map_pointer, "owned", &owned).ok());
    RowDecoder decoder(db.file, *db.format, db.text, table);
    LongValueWriter long_values(db.file, *db.format, table.tdef_page, extras.long_value_maps);
    Row first, second;
    std::vector<StoredField> stored;
    std::string encoded;
    for (uint32_t page_number : owned.pages) {
      const uint8_t* page = db.file.PageOrNull(page_number);
      if (page[0] != kPageData || ReadU32(page + 4) != table.tdef_page) continue;
      uint32_t count;
      EXPECT_TRUE(PageRowCount(*db.format, page, page_number, &count).ok());
      for (uint32_t slot = 0; slot < count; ++slot) {
        RowSpan span;
        EXPECT_TRUE(LocateRow(*db.format, page, page_number, slot, &span).ok());
        if (span.flags != 0 || span.size == 0) continue;
        const uint8_t* bytes = page + span.start;
        const std::string where = path + " " + table.name + " page " + std::to_string(page_number) + " row " + std::to_string(slot);
        EXPECT_TRUE(decoder.Decode(bytes, span.size, page_number, slot, &first).ok()) << where;
        Status s = EncodeRow(*db.format, table, Inputs(first.values), &long_values, span.size, &encoded);
        EXPECT_TRUE(s.ok()) << where << ": " << s.ToString();
        if (!s.ok()) continue;
        EXPECT_TRUE(decoder.Decode(reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size(), 1, 0, &second).ok()) << where;
        for (size_t i = 0; i < table.columns.size(); ++i) {
          EXPECT_TRUE(SameValue(first.values[i], second.values[i])) << where << " column " << table.columns[i].name;
        }
        // Our choice of compressed text agrees with what Access stored.
        const bool same_layout = ReadU16(bytes) == table.max_cols && !HasDeletedColumns(table);
        if (same_layout && !HasLongValueColumns(table)) {
          EXPECT_EQ(Hex(encoded), Hex(bytes, span.size)) << where;
        }
        EXPECT_TRUE(SplitStoredRow(*db.format, table, bytes, span.size, page_number, slot, &stored).ok());
        std::vector<FieldInput> keep;
        for (const StoredField& f : stored) keep.push_back(FieldInput::Keep(f));
        EXPECT_TRUE(EncodeRow(*db.format, table, keep, nullptr, span.size, &encoded).ok()) << where;
        // Rows written before a column was added or deleted keep the old
        // layout; every other row must come back byte for byte.
        ++counts.rows;
        if (encoded == std::string(reinterpret_cast<const char*>(bytes), span.size)) {
          ++counts.same_bytes;
        } else if (same_layout) {
          ADD_FAILURE() << where << " re-encoded differently:\n" << Hex(bytes, span.size) << "\n" << Hex(encoded);
        }
      }
    }
  }
  db.file.RollbackUnit();
  return counts;
}

TEST(CorpusReencodeTest, EveryRowOfTheSharedFiles) {
  const std::filesystem::path shared = TESSALY_SHARED_DIR;
  std::vector<std::filesystem::path> files = {shared / "fixtures" / "tessdata-2009.mdb",
                                              shared / "fixtures" / "tessdata-large.mdb"};
  for (const auto& entry : std::filesystem::directory_iterator(shared / "corpus")) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".mdb" && name.find("1997") == std::string::npos) files.push_back(entry.path());
  }
  int total = 0;
  for (const auto& path : files) {
    Counts counts = ReencodeEveryRow(path.string());
    total += counts.rows;
    std::printf("%s: %d rows, %d identical from stored fields\n", path.filename().c_str(), counts.rows, counts.same_bytes);
  }
  EXPECT_GT(total, 40000);
}

}  // namespace
}  // namespace jet
