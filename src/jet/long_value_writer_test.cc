// Long values written into a copy of the calendar file, committed, and read
// back with ReadLongValue after the file is opened again.
#include "jet/long_value_writer.h"

#include <gtest/gtest.h>

#include "jet/catalog.h"
#include "jet/coding.h"
#include "jet/data_page.h"
#include "jet/header.h"
#include "jet/long_value.h"
#include "jet/row_codec.h"
#include "jet/space.h"
#include "jet/text_encode.h"
#include "jet/usage_map.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

const Format& kFormat = kJet4Format;

std::unique_ptr<PageFile> Open(const std::string& path) {
  Result<std::unique_ptr<PageFile>> file = PageFile::Open(path, {.writable = true, .sync = false});
  EXPECT_TRUE(file.ok()) << file.status().ToString();
  EXPECT_TRUE((*file)->SetPageSize(kFormat.page_size).ok());
  return std::move(file).value();
}

// Memo text of `chars` chars; from 4000 on with chars past U+00FF, so that
// it is stored as plain UCS-2 (two bytes a char).
std::string MemoText(size_t chars) {
  std::string text;
  for (size_t k = 0; k < chars; ++k) text += chars >= 4000 && k % 2 ? "\xE2\x82\xAC" : std::string(1, 'a' + k % 26);
  return text;
}

uint32_t Kind(const std::string& field) { return ReadU32(reinterpret_cast<const uint8_t*>(field.data())) & ~kLongValueLengthMask; }
uint32_t Pointer(const std::string& field) { return ReadU32(reinterpret_cast<const uint8_t*>(field.data()) + 4); }

TEST(LongValueWriterTest, MemosAndOleDataOfEverySizeReadBackAfterCommit) {
  tessaly::testing::SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  // 64 chars take 66 bytes (FF FE + 64); 2000 chars are past the
  // compression limit, 4000 bytes of UCS-2, still one LVAL row.
  const std::vector<size_t> sizes = {0, 1, 62, 64, 65, 2000, 4000, 4100, 12000};
  std::vector<std::string> data;
  for (size_t chars : sizes) {
    std::string stored;
    ASSERT_TRUE(EncodeJet4Text(MemoText(chars), true, &stored).ok());
    data.push_back(stored);
  }
  std::string ole;
  for (int k = 0; k < 10000; ++k) ole.push_back(static_cast<char>(k * 7));
  data.push_back(ole);
  const std::vector<uint32_t> kinds = {kLongValueInline, kLongValueInline, kLongValueInline,
                                       kLongValueSingle, kLongValueSingle, kLongValueSingle,
                                       0, 0, 0, 0};

  std::vector<std::string> fields(data.size());
  std::string freed;
  TableDefExtras extras;
  {
    std::unique_ptr<PageFile> file = Open(copy.path().string());
    TextDecoder text(1252);
    Catalog catalog;
    ASSERT_TRUE(ReadCatalog(*file, kFormat, text, &catalog).ok());
    const CatalogEntry* dates = catalog.FindTableEntry("Dates");
    ASSERT_NE(dates, nullptr);
    TableDef table;
    ASSERT_TRUE(ReadTableDef(*file, kFormat, text, dates->TableDefPage(), &table, &extras).ok());
    const uint16_t notes = table.FindColumn("DateNotes")->column_number;

    ASSERT_TRUE(file->BeginUnit().ok());
    LongValueWriter writer(*file, kFormat, table.tdef_page, extras.long_value_maps);
    for (size_t k = 0; k < data.size(); ++k) {
      ASSERT_TRUE(writer.Write(notes, data[k], &fields[k]).ok()) << k;
      EXPECT_EQ(fields[k].size(), LongValueFieldSize(data[k].size()));
      EXPECT_EQ(Kind(fields[k]), kinds[k]) << data[k].size() << " bytes";
    }
    ASSERT_TRUE(writer.Write(notes, std::string(9000, 'f'), &freed).ok());
    ASSERT_TRUE(writer.Free(freed).ok());
    ASSERT_TRUE(writer.Free(fields[0]).ok());  // inline: nothing to flag
    EXPECT_EQ(writer.Write(999, ole, &freed).code(), StatusCode::kCorruption);
    ASSERT_TRUE(file->CommitUnit().ok());
    ASSERT_TRUE(file->Close().ok());
  }

  std::unique_ptr<PageFile> file = Open(copy.path().string());
  for (size_t k = 0; k < data.size(); ++k) {
    std::string back;
    const auto* field = reinterpret_cast<const uint8_t*>(fields[k].data());
    ASSERT_TRUE(ReadLongValue(*file, kFormat, field, fields[k].size(), file->file_size(), &back).ok());
    EXPECT_EQ(back, data[k]) << k;
    if (k + 1 < sizes.size()) {
      std::string utf8;
      AppendJet4Text(reinterpret_cast<const uint8_t*>(back.data()), back.size(), &utf8);
      EXPECT_EQ(utf8, MemoText(sizes[k]));
    }
  }

  // (L1) Every LVAL row of the chain sits on an LVAL page the column owns;
  // (L3) the freed value's rows are flagged as Access flags deleted rows.
  const LongValueMaps& maps = extras.long_value_maps[0];
  for (const auto& [field, flags] : {std::pair{fields[8], 0}, std::pair{freed, kRowDeleted | kRowLookup}}) {
    for (uint32_t pointer = Pointer(field); pointer != 0;) {
      const uint8_t* page;
      RowSpan span;
      ASSERT_TRUE(FetchRow(*file, kFormat, pointer, "test", &page, &span).ok());
      EXPECT_EQ(ReadU32(page + 4), kLongValueOwner);
      EXPECT_EQ(span.flags, flags);
      EXPECT_TRUE(*UsageMapHas(*file, kFormat, maps.owned_map_pointer, RowPointerPage(pointer)));
      pointer = ReadU32(page + span.start);
    }
  }
  UsageMap free_pages;
  ASSERT_TRUE(ReadUsageMap(*file, kFormat, maps.free_map_pointer, "free", &free_pages).ok());
  for (uint32_t p : free_pages.pages) EXPECT_TRUE(RowFits(kFormat, file->PageOrNull(p), kMaxInlineLongValue + 1)) << p;
}

}  // namespace
}  // namespace jet
