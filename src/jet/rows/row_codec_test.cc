// Row location, field splitting (Jet 4, Jet 3 with its jump table), value
// decoding, and scans over hand-built pages with deleted and overflow rows.
#include "jet/rows/row_codec.h"

#include <cstring>

#include <gtest/gtest.h>

#include "jet/testing/test_pages.h"

namespace jet {
namespace {

using testing::DataPage;
using testing::Jet3Row;
using testing::Jet4Row;
using testing::TestColumn;
using testing::TestRow;
using testing::U16;
using testing::U32;
using testing::Ucs2;

// A Jet 4 table with one column of most kinds.
TableDef MixedTable() {
  TableDef t;
  t.name = "Mixed";
  t.tdef_page = 3;
  t.max_cols = 9;
  t.num_var_cols = 3;
  t.columns = {
      TestColumn("id", ColumnType::kLong, 0, true, 0, 4),
      TestColumn("flag", ColumnType::kBoolean, 1, true, 0, 1),
      TestColumn("name", ColumnType::kText, 2, false, 0, 100),
      TestColumn("amount", ColumnType::kCurrency, 3, true, 4, 8),
      TestColumn("note", ColumnType::kMemo, 4, false, 1, 0),
      TestColumn("when", ColumnType::kDateTime, 5, true, 12, 8),
      TestColumn("code", ColumnType::kGuid, 6, true, 20, 16),
      TestColumn("num", ColumnType::kNumeric, 7, true, 36, 17),
      TestColumn("bin", ColumnType::kBinary, 8, false, 2, 255),
  };
  t.columns[7].precision = 10;
  t.columns[7].scale = 2;
  return t;
}

std::string MixedFixedArea() {
  std::string fixed(53, '\0');
  testing::PutU32(&fixed, 0, static_cast<uint32_t>(-7));
  int64_t amount = 123456;  // 12.3456
  std::memcpy(fixed.data() + 4, &amount, 8);
  double when = 40179.5;
  std::memcpy(fixed.data() + 12, &when, 8);
  for (int i = 0; i < 16; ++i) fixed[20 + i] = static_cast<char>(i);
  fixed[36] = static_cast<char>(0x80);      // negative
  testing::PutU32(&fixed, 36 + 13, 12345);  // least significant word last
  return fixed;
}

std::string InlineMemo(const std::string& data) {
  return U32(0x80000000u | static_cast<uint32_t>(data.size())) + U32(0) + U32(0) + data;
}

class Jet4DecodeTest : public ::testing::Test {
 protected:
  Status Decode(const std::string& row_bytes) {
    return decoder_.Decode(reinterpret_cast<const uint8_t*>(row_bytes.data()),
                           static_cast<uint32_t>(row_bytes.size()), 5, 1, &row_);
  }

  PageFile file_{std::string(4096 * 4, '\0')};
  TextDecoder text_{1252};
  TableDef table_ = MixedTable();
  RowDecoder decoder_{file_, kJet4Format, text_, table_};
  Row row_;

  void SetUp() override { ASSERT_TRUE(file_.SetPageSize(4096).ok()); }
};

TEST_F(Jet4DecodeTest, DecodesEveryKind) {
  std::string row = Jet4Row(9, MixedFixedArea(),
                            {std::string("\xFF\xFEHi", 4), InlineMemo(Ucs2("memo")), "\x01\x02"},
                            {0, 1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_TRUE(Decode(row).ok());
  ASSERT_EQ(row_.values.size(), 9u);
  EXPECT_EQ(row_.values[0].kind(), Value::Kind::kLong);
  EXPECT_EQ(row_.values[0].integer(), -7);
  EXPECT_EQ(row_.values[1].kind(), Value::Kind::kBoolean);
  EXPECT_TRUE(row_.values[1].boolean());
  EXPECT_EQ(row_.values[2].text(), "Hi");
  EXPECT_EQ(row_.values[3].kind(), Value::Kind::kCurrency);
  EXPECT_EQ(row_.values[3].integer(), 123456);
  EXPECT_EQ(row_.values[4].text(), "memo");
  EXPECT_EQ(row_.values[5].kind(), Value::Kind::kDateTime);
  EXPECT_DOUBLE_EQ(row_.values[5].real(), 40179.5);
  EXPECT_EQ(row_.values[6].guid()[15], 15);
  EXPECT_EQ(row_.values[7].decimal().ToString(), "-123.45");
  EXPECT_EQ(row_.values[8].binary(), "\x01\x02");
  EXPECT_EQ(row_.page, 5u);
  EXPECT_EQ(row_.slot, 1);
}

TEST_F(Jet4DecodeTest, NullMaskMakesNullsAndFalse) {
  std::string row = Jet4Row(9, MixedFixedArea(), {"", "", ""}, {0, 2});
  ASSERT_TRUE(Decode(row).ok());
  EXPECT_EQ(row_.values[0].integer(), -7);
  EXPECT_EQ(row_.values[1].kind(), Value::Kind::kBoolean);  // never null
  EXPECT_FALSE(row_.values[1].boolean());
  EXPECT_FALSE(row_.values[2].is_null());  // present and empty
  EXPECT_EQ(row_.values[2].text(), "");
  for (int i : {3, 4, 5, 6, 7, 8}) EXPECT_TRUE(row_.values[i].is_null()) << i;
}

TEST_F(Jet4DecodeTest, OlderRowsWithFewerColumnsReadAsNull) {
  // Written when the table had 3 columns and one variable slot.
  std::string row =
      Jet4Row(3, MixedFixedArea().substr(0, 4), {std::string("\xFF\xFEok", 4)}, {0, 1, 2});
  ASSERT_TRUE(Decode(row).ok());
  EXPECT_EQ(row_.values[2].text(), "ok");
  EXPECT_TRUE(row_.values[3].is_null());
  EXPECT_TRUE(row_.values[8].is_null());
}

TEST_F(Jet4DecodeTest, StorageViewsSurviveGrowth) {
  // A memo far larger than the initial reservation forces the storage to
  // grow after the name was appended; the name's view must still be right.
  std::string big(3000, 'x');
  std::string row =
      Jet4Row(9, MixedFixedArea(),
              {std::string("\xFF\xFEHi", 4), InlineMemo(std::string("\xFF\xFE", 2) + big), "\x01"},
              {0, 2, 4, 8});
  ASSERT_TRUE(Decode(row).ok());
  row_.storage.reserve(1);  // no-op, storage is already larger
  EXPECT_EQ(row_.values[2].text(), "Hi");
  EXPECT_EQ(row_.values[4].text(), big);
  EXPECT_EQ(row_.values[8].binary(), "\x01");
}

TEST_F(Jet4DecodeTest, RowsAfterALargeOneReadOnlyTheirOwnBytes) {
  // The storage keeps the size the large row gave it; the rows after it
  // must see their own values, not what is left over from it.
  const std::string big(6000, 'q');
  const struct {
    std::string name;  // as stored
    std::string memo;  // as stored, inline
    const char* name_text;
    std::string memo_text;
  } rows[] = {
      {std::string("\xFF\xFEHi", 4), std::string("\xFF\xFE", 2) + big, "Hi", big},
      {Ucs2("ab"), Ucs2("c"), "ab", "c"},
      {std::string("\xFF\xFE", 2), Ucs2(""), "", ""},
      {Ucs2("longer name"), std::string("\xFF\xFEz", 3), "longer name", "z"},
  };
  for (const auto& r : rows) {
    ASSERT_TRUE(
        Decode(Jet4Row(9, MixedFixedArea(), {r.name, InlineMemo(r.memo), "\x07"}, {0, 2, 4, 8}))
            .ok());
    EXPECT_EQ(row_.values[2].text(), r.name_text);
    EXPECT_EQ(row_.values[4].text(), r.memo_text);
    EXPECT_EQ(row_.values[8].binary(), "\x07");
  }
}

struct DamagedRowCase {
  const char* name;
  std::string bytes;
  const char* message_part;
};

class DamagedJet4RowTest : public Jet4DecodeTest,
                           public ::testing::WithParamInterface<DamagedRowCase> {};

TEST_P(DamagedJet4RowTest, IsCorruptionNamingThePlace) {
  Status s = Decode(GetParam().bytes);
  ASSERT_EQ(s.code(), StatusCode::kCorruption) << s.ToString();
  EXPECT_NE(s.message().find(GetParam().message_part), std::string::npos) << s.ToString();
  EXPECT_NE(s.message().find("page 5 row 1"), std::string::npos) << s.ToString();
}

std::string WithVarOffset(std::string row, uint16_t offset) {
  // var_off[0] sits just before the count and the 2-byte null mask.
  testing::PutU16(&row, row.size() - 2 - 2 - 2, offset);
  return row;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedJet4RowTest,
    ::testing::Values(
        DamagedRowCase{"empty", std::string(1, '\0'), "no column count"},
        DamagedRowCase{"mask_overruns", U16(200), "null mask"},
        DamagedRowCase{"var_table_overruns", U16(9) + U16(60) + std::string(2, '\xFF'),
                       "variable-column table"},
        DamagedRowCase{"var_offset_past_table",
                       WithVarOffset(Jet4Row(9, MixedFixedArea(), {"ab", "", ""}, {0, 2}), 4000),
                       "out of range"},
        DamagedRowCase{"fixed_overruns", Jet4Row(9, std::string(8, '\0'), {"", "", ""}, {0, 5}),
                       "overruns the fixed area"},
        DamagedRowCase{"memo_header_short", Jet4Row(9, MixedFixedArea(), {"", "short", ""}, {0, 4}),
                       "memo column"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Jet3RowFieldsTest, ShortRowHasNoJumpTable) {
  std::string row = Jet3Row(3, std::string(4, 'f'), {"abc", "de"}, {0, 1, 2});
  RowFields fields;
  ASSERT_TRUE(ParseRowFields(kJet3Format, reinterpret_cast<const uint8_t*>(row.data()),
                             static_cast<uint32_t>(row.size()), true, 1, 0, &fields)
                  .ok());
  ASSERT_EQ(fields.var_count, 2u);
  EXPECT_EQ(fields.var_offsets[0], 5u);
  EXPECT_EQ(fields.var_offsets[1], 8u);
  EXPECT_EQ(fields.var_offsets[2], 10u);
  EXPECT_EQ(fields.fixed_end, 5u);
}

TEST(Jet3RowFieldsTest, JumpTableAddsMultiplesOf256) {
  std::string long_value(300, 'a');
  std::string row = Jet3Row(3, std::string(4, 'f'), {long_value, "xyz"}, {0, 1, 2});
  ASSERT_GE(row.size(), 256u);
  RowFields fields;
  ASSERT_TRUE(ParseRowFields(kJet3Format, reinterpret_cast<const uint8_t*>(row.data()),
                             static_cast<uint32_t>(row.size()), true, 1, 0, &fields)
                  .ok());
  EXPECT_EQ(fields.var_offsets[0], 5u);
  EXPECT_EQ(fields.var_offsets[1], 305u);
  EXPECT_EQ(fields.var_offsets[2], 308u);
}

TEST(Jet3RowFieldsTest, DummyJumpEntryIsIgnored) {
  // Data ends below 256 but the offset table pushes the row past it: the one
  // jump entry is a dummy.
  std::string row = Jet3Row(3, std::string(4, 'f'), {std::string(240, 'b'), "zzzzzzz"}, {0, 1, 2});
  ASSERT_GE(row.size(), 257u);
  RowFields fields;
  ASSERT_TRUE(ParseRowFields(kJet3Format, reinterpret_cast<const uint8_t*>(row.data()),
                             static_cast<uint32_t>(row.size()), true, 1, 0, &fields)
                  .ok());
  EXPECT_EQ(fields.var_offsets[1], 245u);
  EXPECT_EQ(fields.var_offsets[2], 252u);
}

TEST(Jet3DecodeTest, DecodesCodePageTextAndFixedColumns) {
  TableDef t;
  t.tdef_page = 3;
  t.max_cols = 3;
  t.num_var_cols = 1;
  t.columns = {TestColumn("n", ColumnType::kInteger, 0, true, 0, 2),
               TestColumn("s", ColumnType::kText, 1, false, 0, 50),
               TestColumn("b", ColumnType::kBoolean, 2, true, 0, 1)};
  PageFile file(std::string(2048 * 3, '\0'));
  ASSERT_TRUE(file.SetPageSize(2048).ok());
  TextDecoder text(1252);
  RowDecoder decoder(file, kJet3Format, text, t);
  std::string row = Jet3Row(3, U16(static_cast<uint16_t>(-2)), {"caf\xE9"}, {0, 1});
  Row out;
  ASSERT_TRUE(decoder
                  .Decode(reinterpret_cast<const uint8_t*>(row.data()),
                          static_cast<uint32_t>(row.size()), 1, 0, &out)
                  .ok());
  EXPECT_EQ(out.values[0].integer(), -2);
  EXPECT_EQ(out.values[1].text(), "caf\xC3\xA9");
  EXPECT_FALSE(out.values[2].boolean());
}

TEST(LocateRowTest, RejectsOffsetsOutsideThePage) {
  std::string page = DataPage(kJet4Format, 3, {{"abcd"}, {"efgh"}});
  RowSpan span;
  ASSERT_TRUE(
      LocateRow(kJet4Format, reinterpret_cast<const uint8_t*>(page.data()), 9, 1, &span).ok());
  EXPECT_EQ(span.size, 4u);
  EXPECT_EQ(span.start, 4096u - 8);

  testing::PutU16(&page, kJet4Format.data_header_size + 2, 4);  // inside the offset table
  Status s = LocateRow(kJet4Format, reinterpret_cast<const uint8_t*>(page.data()), 9, 1, &span);
  EXPECT_EQ(s.code(), StatusCode::kCorruption);
  EXPECT_NE(s.message().find("page 9 row 1"), std::string::npos) << s.ToString();

  s = LocateRow(kJet4Format, reinterpret_cast<const uint8_t*>(page.data()), 9, 2, &span);
  EXPECT_EQ(s.code(), StatusCode::kCorruption);

  testing::PutU16(&page, kJet4Format.data_row_count_offset, 3000);
  s = LocateRow(kJet4Format, reinterpret_cast<const uint8_t*>(page.data()), 9, 0, &span);
  EXPECT_EQ(s.code(), StatusCode::kCorruption);
  EXPECT_NE(s.message().find("row count"), std::string::npos);
}

// Scans over a little file: page 3 is the table's definition (never read by
// the scanner), pages 4 and 5 its data.
class ScanTest : public ::testing::Test {
 protected:
  static TableDef OneTextTable() {
    TableDef t;
    t.tdef_page = 3;
    t.max_cols = 2;
    t.num_var_cols = 1;
    t.columns = {TestColumn("id", ColumnType::kLong, 0, true, 0, 4),
                 TestColumn("s", ColumnType::kText, 1, false, 0, 100)};
    return t;
  }
  static std::string R(int id, const std::string& s) {
    return Jet4Row(2, U32(static_cast<uint32_t>(id)), {Ucs2(s)}, {0, 1});
  }

  std::vector<std::string> Scan(std::vector<std::string> pages, std::vector<uint32_t> owned,
                                Status* status, std::vector<uint32_t>* where = nullptr) {
    while (pages.size() < 3) pages.insert(pages.begin(), std::string(4096, '\0'));
    file_ = std::make_unique<PageFile>(testing::Image(pages));
    EXPECT_TRUE(file_->SetPageSize(4096).ok());
    TableScanner scanner(*file_, kJet4Format, text_, OneTextTable(), std::move(owned));
    std::vector<std::string> out;
    Row row;
    while (scanner.Next(&row, status)) {
      out.push_back(std::to_string(row.values[0].integer()) + ":" +
                    std::string(row.values[1].text()));
      if (where) where->push_back(row.page << 8 | row.slot);
    }
    return out;
  }

  std::unique_ptr<PageFile> file_;
  TextDecoder text_{1252};
};

TEST_F(ScanTest, SkipsDeletedRowsAndForeignPages) {
  std::string blank(4096, '\0');
  std::string p4 = DataPage(kJet4Format, 3,
                            {{R(1, "a")}, {R(2, "gone"), kRowDeleted}, {"", 0xC000}, {R(3, "c")}});
  std::string p5 = DataPage(kJet4Format, 99, {{R(9, "other table")}});
  std::string p6 = DataPage(kJet4Format, 3, {{R(4, "d")}});
  Status s;
  auto rows = Scan({blank, blank, blank, blank, p4, p5, p6}, {4, 5, 6}, &s);
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_EQ(rows, (std::vector<std::string>{"1:a", "3:c", "4:d"}));
}

TEST_F(ScanTest, OverflowRowAppearsWhereItsDataIsWithTheHeaderPosition) {
  std::string blank(4096, '\0');
  // Row 1 of page 4 moved to page 5 row 1 (flagged deleted there).
  std::string p4 =
      DataPage(kJet4Format, 3, {{R(1, "a")}, {U32(5 << 8 | 1) + "junk", kRowLookup}, {R(3, "c")}});
  std::string p5 = DataPage(kJet4Format, 3, {{R(4, "d")}, {R(2, "moved and longer"), kRowDeleted}});
  Status s;
  std::vector<uint32_t> where;
  auto rows = Scan({blank, blank, blank, blank, p4, p5}, {4, 5}, &s, &where);
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_EQ(rows, (std::vector<std::string>{"1:a", "3:c", "4:d", "2:moved and longer"}));
  EXPECT_EQ(where[3], (4u << 8) | 1);  // reported at its header row
}

TEST_F(ScanTest, OverflowTargetOutsideTheOwnedPagesIsStillRead) {
  std::string blank(4096, '\0');
  std::string p4 = DataPage(kJet4Format, 3, {{U32(6 << 8 | 0), kRowLookup}, {R(3, "c")}});
  std::string p6 = DataPage(kJet4Format, 3, {{R(2, "far"), kRowDeleted}});
  Status s;
  auto rows = Scan({blank, blank, blank, blank, p4, blank, p6}, {4}, &s);
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_EQ(rows, (std::vector<std::string>{"3:c", "2:far"}));
}

TEST_F(ScanTest, BrokenOverflowPointerIsCorruption) {
  std::string blank(4096, '\0');
  std::string p4 = DataPage(kJet4Format, 3, {{U32(77 << 8 | 0), kRowLookup}});
  Status s;
  Scan({blank, blank, blank, blank, p4}, {4}, &s);
  EXPECT_EQ(s.code(), StatusCode::kCorruption);
  EXPECT_NE(s.message().find("page 77"), std::string::npos) << s.ToString();
}

TEST_F(ScanTest, OverflowPointersThatLoopStop) {
  std::string blank(4096, '\0');
  // Two lookup rows pointing at each other, neither flagged deleted.
  std::string p4 = DataPage(kJet4Format, 3, {{U32(5 << 8 | 0), kRowLookup}});
  std::string p5 = DataPage(kJet4Format, 3, {{U32(4 << 8 | 0), kRowLookup}});
  Status s;
  Scan({blank, blank, blank, blank, p4, p5}, {}, &s);
  EXPECT_TRUE(s.ok());  // nothing owned, nothing read
  std::vector<std::string> rows = Scan({blank, blank, blank, blank, p4, p5}, {4, 5}, &s);
  EXPECT_EQ(s.code(), StatusCode::kCorruption) << s.ToString();
}

}  // namespace
}  // namespace jet
