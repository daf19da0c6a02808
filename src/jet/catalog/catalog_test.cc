// Catalog helpers: the design properties in LvProp blobs of both formats.
#include "jet/catalog/catalog.h"

#include <gtest/gtest.h>

#include "jet/testing/test_pages.h"

namespace jet {
namespace {

using testing::U16;
using testing::U32;
using testing::Ucs2;

// A property blob: the name list, then one block per object (the one named
// "Table" is the table's own, block type 0; the columns' are type 1).
std::string Blob(bool jet3, const std::vector<std::string>& names,
                 const std::vector<std::pair<std::string, std::vector<std::string>>>& blocks) {
  auto encode = [jet3](const std::string& s) { return jet3 ? s : Ucs2(s); };
  std::string name_list;
  for (const std::string& n : names) {
    name_list += U16(static_cast<uint16_t>(encode(n).size())) + encode(n);
  }
  std::string blob = std::string(jet3 ? "KKD" : "MR2", 3) + std::string(1, '\0');
  blob += U32(static_cast<uint32_t>(6 + name_list.size())) + U16(0x80) + name_list;
  for (const auto& [object, records] : blocks) {
    std::string body = U16(static_cast<uint16_t>(encode(object).size())) + encode(object);
    for (const std::string& r : records) body += r;
    body = U32(static_cast<uint32_t>(4 + body.size())) + body;
    blob +=
        U32(static_cast<uint32_t>(6 + body.size())) + U16(object == "Table" ? 0x00 : 0x01) + body;
  }
  return blob;
}

// A boolean property record: u16 length, ddl flag, type 1, name index, size 1, value.
std::string BoolRecord(uint16_t name_index, bool value) {
  return U16(9) + std::string(1, '\0') + std::string(1, '\x01') + U16(name_index) + U16(1) +
         std::string(1, value ? '\xFF' : '\0');
}

// A text property record (type 10), in the format's encoding.
std::string TextRecord(bool jet3, uint16_t name_index, const std::string& value) {
  const std::string bytes = jet3 ? value : Ucs2(value);
  return U16(static_cast<uint16_t>(8 + bytes.size())) + std::string(1, '\0') +
         std::string(1, '\x0A') + U16(name_index) + U16(static_cast<uint16_t>(bytes.size())) +
         bytes;
}

TableDef TwoColumns() {
  TableDef t;
  t.columns.resize(2);
  t.columns[0].name = "Id";
  t.columns[1].name = "Name";
  return t;
}

class DesignPropertiesTest : public ::testing::TestWithParam<bool> {};

TEST_P(DesignPropertiesTest, SetsColumnAndTablePropertiesFromTheirBlocks) {
  const bool jet3 = GetParam();
  TextDecoder text(1252);
  TableDef table = TwoColumns();
  std::string blob = Blob(jet3, {"DefaultValue", "Required", "ValidationRule", "AllowZeroLength"},
                          {{"Table", {BoolRecord(1, true), TextRecord(jet3, 2, "[Id] > 0")}},
                           {"name",
                            {BoolRecord(0, true), BoolRecord(1, true), BoolRecord(3, false),
                             TextRecord(jet3, 0, "\"Ordinary\"")}},
                           {"Id", {BoolRecord(1, false), TextRecord(jet3, 2, ">=0")}}});
  ApplyDesignProperties(blob, jet3 ? kJet3Format : kJet4Format, text, &table);
  EXPECT_FALSE(table.columns[0].required);
  EXPECT_TRUE(table.columns[1].required);
  EXPECT_FALSE(table.columns[1].allow_zero_length);
  EXPECT_TRUE(table.columns[0].allow_zero_length);
  EXPECT_EQ(table.columns[1].default_value, "\"Ordinary\"");
  EXPECT_EQ(table.columns[0].validation_rule, ">=0");
  EXPECT_EQ(table.validation_rule, "[Id] > 0");
}

TEST_P(DesignPropertiesTest, DamagedBlobLeavesColumnsAlone) {
  const bool jet3 = GetParam();
  TextDecoder text(1252);
  std::string good = Blob(jet3, {"Required"}, {{"Id", {BoolRecord(0, true)}}});
  for (size_t cut = 0; cut < good.size(); ++cut) {
    TableDef table = TwoColumns();
    ApplyDesignProperties(good.substr(0, cut), jet3 ? kJet3Format : kJet4Format, text, &table);
    EXPECT_FALSE(table.columns[1].required);
  }
  std::string bad_index = Blob(jet3, {"Required"}, {{"Id", {BoolRecord(7, true)}}});
  TableDef table = TwoColumns();
  ApplyDesignProperties(bad_index, jet3 ? kJet3Format : kJet4Format, text, &table);
  EXPECT_FALSE(table.columns[0].required);
  std::string huge_chunk = good;
  testing::PutU32(&huge_chunk, 4, 0x7FFFFFFF);
  ApplyDesignProperties(huge_chunk, jet3 ? kJet3Format : kJet4Format, text, &table);
  EXPECT_FALSE(table.columns[0].required);
}

INSTANTIATE_TEST_SUITE_P(Formats, DesignPropertiesTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Jet3" : "Jet4"; });

}  // namespace
}  // namespace jet
