// Data page changes: rows added to empty pages and to pages of the calendar
// file, read back with LocateRow, with free space kept exact (D1).
#include "jet/rows/data_page.h"

#include <gtest/gtest.h>

#include "jet/pager/page_file.h"
#include "jet/rows/row_codec.h"
#include "jet/testing/test_pages.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

// Adds rows of the given sizes and checks every row and (D1) afterwards.
void AddAndReadBack(const Format& format, std::string* buffer, const std::vector<uint32_t>& sizes) {
  auto* page = reinterpret_cast<uint8_t*>(buffer->data());
  uint32_t first;
  ASSERT_TRUE(PageRowCount(format, page, 7, &first).ok());
  const std::string before = *buffer;
  for (size_t k = 0; k < sizes.size(); ++k) {
    uint8_t slot;
    ASSERT_TRUE(AddRow(format, page, 7, std::string(sizes[k], 'a' + k), 0, &slot).ok());
    EXPECT_EQ(slot, first + k);
  }
  uint32_t used = 0;
  for (uint32_t slot = 0; slot < first + sizes.size(); ++slot) {
    RowSpan span;
    ASSERT_TRUE(LocateRow(format, page, 7, slot, &span).ok());
    used += span.size + 2;
    if (slot >= first) {
      EXPECT_EQ(buffer->substr(span.start, span.size),
                std::string(sizes[slot - first], 'a' + slot - first));
    } else {
      EXPECT_EQ(buffer->substr(span.start, span.size), before.substr(span.start, span.size));
    }
  }
  EXPECT_EQ(DataPageFreeSpace(format, page), format.page_size - format.data_header_size - used);
}

TEST(DataPageTest, RowsAddedToEmptyAndRealPagesReadBack) {
  for (const Format* format : {&kJet4Format, &kJet3Format}) {
    std::string buffer(format->page_size, '\x55');  // stale bytes, as Access leaves them
    InitDataPage(*format, reinterpret_cast<uint8_t*>(buffer.data()), kLongValueOwner);
    EXPECT_EQ(buffer.substr(0, 8), std::string("\x01\x01", 2) +
                                       testing::U16(format->page_size - format->data_header_size) +
                                       "LVAL");
    AddAndReadBack(*format, &buffer, {100, 0, 1, 700});
  }
  Result<std::string> image =
      ReadWholeFile(tessaly::testing::SharedPath("fixtures", "tessdata-2009.mdb").string());
  ASSERT_TRUE(image.ok());
  int pages = 0;
  for (size_t at = 4096; at < image->size(); at += 4096) {
    std::string buffer = image->substr(at, 4096);
    if (buffer[0] != kPageData || buffer.compare(4, 4, "LVAL") == 0) continue;
    if (DataPageFreeSpace(kJet4Format, reinterpret_cast<uint8_t*>(buffer.data())) < 40) continue;
    ++pages;
    AddAndReadBack(kJet4Format, &buffer, {7, 20});
  }
  EXPECT_GE(pages, 3);
}

TEST(DataPageTest, FullPagesAndTheRowLimitRefuseRows) {
  std::string buffer(4096, '\0');
  auto* page = reinterpret_cast<uint8_t*>(buffer.data());
  InitDataPage(kJet4Format, page, 12);
  uint8_t slot;
  EXPECT_TRUE(RowFits(kJet4Format, page, 4080));  // 4096 - 14 header - 2 offset
  EXPECT_FALSE(RowFits(kJet4Format, page, 4081));
  EXPECT_EQ(AddRow(kJet4Format, page, 7, std::string(4081, 'x'), 0, &slot).code(),
            StatusCode::kInvalidArgument);
  for (uint32_t k = 0; k < kMaxRowsPerPage; ++k) {
    ASSERT_TRUE(AddRow(kJet4Format, page, 7, "row", 0, &slot).ok());
  }
  EXPECT_FALSE(RowFits(kJet4Format, page, 3));
  EXPECT_EQ(AddRow(kJet4Format, page, 7, "row", 0, &slot).code(), StatusCode::kInvalidArgument);
}

TEST(DataPageTest, FlagsReplaceAndDamagedPages) {
  const Format& format = kJet4Format;
  std::string buffer = testing::DataPage(format, 12, {{"first"}, {"second"}});
  auto* page = reinterpret_cast<uint8_t*>(buffer.data());
  ASSERT_TRUE(SetRowFlags(format, page, 7, 1, kRowDeleted | kRowLookup).ok());
  ASSERT_TRUE(ReplaceRow(format, page, 7, 0, "FIRST").ok());
  EXPECT_EQ(ReplaceRow(format, page, 7, 0, "longer").code(), StatusCode::kInvalidArgument);
  EXPECT_FALSE(SetRowFlags(format, page, 7, 2, kRowDeleted).ok());
  RowSpan span;
  ASSERT_TRUE(LocateRow(format, page, 7, 1, &span).ok());
  EXPECT_EQ(span.flags, kRowDeleted | kRowLookup);
  EXPECT_EQ(buffer.substr(span.start, span.size), "second");
  EXPECT_EQ(buffer.substr(format.page_size - 5), "FIRST");

  testing::PutU16(&buffer, 2, 100);  // free space that disagrees with the rows
  const std::string before = buffer;
  uint8_t slot;
  Status s = AddRow(format, page, 7, "new", 0, &slot);
  EXPECT_TRUE(s.IsCorruption());
  EXPECT_NE(s.message().find("page 7"), std::string::npos) << s.message();
  EXPECT_EQ(buffer, before);
}

// (D3) Rows deleted out of a page of five: the others keep their slots and
// bytes, the room comes back whole, and a page is all deleted only once its
// last slot is.
struct DeleteCase {
  const char* name;
  std::vector<uint32_t> deleted;  // slots, in order
};

class DataPageDeleteTest : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(DataPageDeleteTest, DeletedRowsGiveTheirRoomBack) {
  const Format& format = kJet4Format;
  const std::vector<std::string> rows = {"alpha", "", "a longer third row", "4", "fifth row"};
  std::vector<testing::TestRow> page_rows;
  for (const std::string& r : rows) page_rows.push_back({r});
  std::string buffer = testing::DataPage(format, 12, page_rows);
  auto* page = reinterpret_cast<uint8_t*>(buffer.data());
  const uint32_t empty_room = format.page_size - format.data_header_size - 2 * rows.size();
  std::vector<bool> gone(rows.size(), false);
  for (uint32_t slot : GetParam().deleted) {
    EXPECT_FALSE(AllRowsDeleted(format, page));
    ASSERT_TRUE(DeleteRow(format, page, 7, slot).ok());
    gone[slot] = true;
    uint32_t kept = 0;
    for (uint32_t k = 0; k < rows.size(); ++k) {
      RowSpan span;
      ASSERT_TRUE(LocateRow(format, page, 7, k, &span).ok());
      if (gone[k]) {
        EXPECT_EQ(span.flags, kRowDeleted | kRowLookup);
        EXPECT_EQ(span.size, 0u);
      } else {
        EXPECT_EQ(span.flags, 0);
        EXPECT_EQ(buffer.substr(span.start, span.size), rows[k]) << k;
        kept += span.size;
      }
    }
    EXPECT_EQ(DataPageFreeSpace(format, page), empty_room - kept);
  }
  EXPECT_EQ(AllRowsDeleted(format, page), GetParam().deleted.size() == rows.size());
  uint8_t slot;
  ASSERT_TRUE(AddRow(format, page, 7, "after", 0, &slot).ok());
  EXPECT_EQ(slot, rows.size());
}

INSTANTIATE_TEST_SUITE_P(Slots, DataPageDeleteTest,
                         ::testing::Values(DeleteCase{"First", {0}}, DeleteCase{"Last", {4}},
                                           DeleteCase{"EmptyRow", {1}},
                                           DeleteCase{"MiddleThenNeighbours", {2, 3, 1}},
                                           DeleteCase{"All", {4, 0, 2, 1, 3}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jet
