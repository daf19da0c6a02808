// Long values written into a copy of the calendar file, committed, and read
// back with ReadLongValue after the file is opened again.
#include "jet/rows/long_value_writer.h"

#include <gtest/gtest.h>

#include "jet/base/coding.h"
#include "jet/base/text_encode.h"
#include "jet/catalog/catalog.h"
#include "jet/rows/data_page.h"
#include "jet/rows/long_value.h"
#include "jet/rows/row_codec.h"
#include "jet/space/space.h"
#include "jet/space/usage_map.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

const Format& kFormat = kJet4Format;

std::unique_ptr<PageFile> Open(const std::string& path) {
  auto file = std::move(PageFile::Open(path, {.writable = true, .sync = false})).value();
  EXPECT_TRUE(file->SetPageSize(kFormat.page_size).ok());
  return file;
}

uint32_t Word(const std::string& field, int at) {
  return ReadU32(reinterpret_cast<const uint8_t*>(field.data()) + at);
}

struct SizeCase {
  size_t chars;
  uint32_t kind;
};

TEST(LongValueWriterTest, MemosAndOleDataOfEverySizeReadBackAfterCommit) {
  tessaly::testing::SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  // Memo text of n chars: 64 chars take 66 bytes (FF FE + 64); from 2000 on
  // past the compression limit (and with chars past U+00FF from 4000 on),
  // so two bytes a char. The last value is OLE data.
  const SizeCase cases[] = {{0, kLongValueInline},
                            {1, kLongValueInline},
                            {62, kLongValueInline},
                            {64, kLongValueSingle},
                            {65, kLongValueSingle},
                            {2000, kLongValueSingle},
                            {4000, 0},
                            {4100, 0},
                            {12000, 0},
                            {0, 0}};
  std::vector<std::string> data;
  for (const auto& c : cases) {
    std::string text;
    for (size_t k = 0; k < c.chars; ++k) text += c.chars >= 4000 && k % 2 ? "\xE2\x82\xAC" : "m";
    ASSERT_TRUE(EncodeJet4Text(text, true, &data.emplace_back()).ok());
  }
  for (int k = 0; k < 10000; ++k) data.back().push_back(static_cast<char>(k * 7));

  std::vector<std::string> fields(data.size());
  std::string freed, refused;
  std::vector<uint32_t> freed_rows;  // the rows of `freed` before Free
  LongValueMaps maps;
  {
    std::unique_ptr<PageFile> file = Open(copy.path().string());
    TextDecoder text(1252);
    Catalog catalog;
    ASSERT_TRUE(ReadCatalog(*file, kFormat, text, &catalog).ok());
    TableDef table;
    TableDefExtras extras;
    const uint32_t tdef = catalog.FindTableEntry("Dates")->TableDefPage();
    ASSERT_TRUE(ReadTableDef(*file, kFormat, text, tdef, &table, &extras).ok());
    const uint16_t notes = table.FindColumn("DateNotes")->column_number;
    for (const LongValueMaps& m : extras.long_value_maps) {
      if (m.column_number == notes) maps = m;
    }
    ASSERT_TRUE(file->BeginUnit().ok());
    LongValueWriter writer(*file, kFormat, tdef, extras.long_value_maps);
    for (size_t k = 0; k < data.size(); ++k) {
      ASSERT_TRUE(writer.Write(notes, data[k], &fields[k]).ok()) << k;
      EXPECT_EQ(fields[k].size(), LongValueFieldSize(data[k].size()));
      EXPECT_EQ(Word(fields[k], 0) & ~kLongValueLengthMask, cases[k].kind) << data[k].size();
    }
    ASSERT_TRUE(writer.Write(notes, std::string(9000, 'f'), &freed).ok());
    for (uint32_t pointer = Word(freed, 4); pointer != 0;) {
      const uint8_t* page;
      RowSpan span;
      ASSERT_TRUE(FetchRow(*file, kFormat, pointer, "test", &page, &span).ok());
      freed_rows.push_back(pointer);
      pointer = ReadU32(page + span.start);
    }
    ASSERT_TRUE(writer.Free(notes, freed).ok());
    EXPECT_EQ(writer.Write(999, data.back(), &refused).code(), StatusCode::kCorruption);
    ASSERT_TRUE(file->CommitUnit().ok());
    ASSERT_TRUE(file->Close().ok());
  }

  std::unique_ptr<PageFile> file = Open(copy.path().string());
  for (size_t k = 0; k < data.size(); ++k) {
    std::string back;
    const auto* field = reinterpret_cast<const uint8_t*>(fields[k].data());
    ASSERT_TRUE(ReadLongValue(*file, kFormat, field, fields[k].size(), 1 << 20, &back).ok());
    EXPECT_EQ(back, data[k]) << k;
  }
  // (L1) Chain rows sit on LVAL pages the column owns.
  for (uint32_t pointer = Word(fields[8], 4); pointer != 0;) {
    const uint8_t* page;
    RowSpan span;
    ASSERT_TRUE(FetchRow(*file, kFormat, pointer, "test", &page, &span).ok());
    EXPECT_EQ(ReadU32(page + 4), kLongValueOwner);
    EXPECT_EQ(span.flags, 0);
    EXPECT_TRUE(*UsageMapHas(*file, kFormat, maps.owned_map_pointer, RowPointerPage(pointer)));
    pointer = ReadU32(page + span.start);
  }
  // (L3, L5) The freed value's rows are deleted as Access deletes rows and
  // keep no bytes; a page left with no live row went back to the file.
  const uint32_t global_map = 1u << 8;
  ASSERT_FALSE(freed_rows.empty());
  for (uint32_t pointer : freed_rows) {
    const uint32_t page_number = RowPointerPage(pointer);
    const uint8_t* page = file->PageOrNull(page_number);
    ASSERT_NE(page, nullptr);
    if (*UsageMapHas(*file, kFormat, global_map, page_number)) {
      EXPECT_EQ(page[0], 0) << page_number;
      EXPECT_FALSE(*UsageMapHas(*file, kFormat, maps.owned_map_pointer, page_number));
      EXPECT_FALSE(*UsageMapHas(*file, kFormat, maps.free_map_pointer, page_number));
      continue;
    }
    RowSpan span;
    ASSERT_TRUE(LocateRow(kFormat, page, page_number, RowPointerSlot(pointer), &span).ok());
    EXPECT_EQ(span.flags, kRowDeleted | kRowLookup);
    EXPECT_EQ(span.size, 0u);
  }
  UsageMap free_pages;
  ASSERT_TRUE(ReadUsageMap(*file, kFormat, maps.free_map_pointer, "free", &free_pages).ok());
  for (uint32_t p : free_pages.pages) {
    EXPECT_TRUE(RowFits(kFormat, file->PageOrNull(p), kMaxInlineLongValue + 1)) << p;
  }
}

}  // namespace
}  // namespace jet
