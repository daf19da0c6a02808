// Data page changes: rows added to empty pages and to a page Access wrote,
// read back with LocateRow; the free-space rule (D1) after every change.
#include "jet/data_page.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "jet/coding.h"
#include "jet/row_codec.h"
#include "jet/test_pages.h"

namespace jet {
namespace {

// (D1): the stored free space equals the gap between offsets and rows.
void ExpectConsistent(const Format& format, const uint8_t* page) {
  uint32_t count;
  ASSERT_TRUE(PageRowCount(format, page, 7, &count).ok());
  uint32_t used = 0;
  for (uint32_t slot = 0; slot < count; ++slot) {
    RowSpan span;
    ASSERT_TRUE(LocateRow(format, page, 7, slot, &span).ok());
    used += span.size + 2;
  }
  EXPECT_EQ(DataPageFreeSpace(format, page), format.page_size - format.data_header_size - used);
}

std::string RowOf(uint32_t size, char fill) { return std::string(size, fill); }

TEST(DataPageTest, RowsAddedToAnEmptyPageReadBack) {
  for (const Format* format : {&kJet4Format, &kJet3Format}) {
    std::string buffer(format->page_size, '\x55');  // stale bytes, as Access leaves them
    auto* page = reinterpret_cast<uint8_t*>(buffer.data());
    InitDataPage(*format, page, kLongValueOwner);
    EXPECT_EQ(buffer.substr(4, 4), "LVAL");
    EXPECT_EQ(DataPageFreeSpace(*format, page), format->page_size - format->data_header_size);
    const std::vector<uint32_t> sizes = {100, 0, 1, 700};
    for (size_t k = 0; k < sizes.size(); ++k) {
      uint8_t slot;
      ASSERT_TRUE(AddRow(*format, page, 7, RowOf(sizes[k], 'a' + k), 0, &slot).ok());
      EXPECT_EQ(slot, k);
      ExpectConsistent(*format, page);
    }
    for (size_t k = 0; k < sizes.size(); ++k) {
      RowSpan span;
      ASSERT_TRUE(LocateRow(*format, page, 7, k, &span).ok());
      EXPECT_EQ(buffer.substr(span.start, span.size), RowOf(sizes[k], 'a' + k));
      EXPECT_EQ(span.flags, 0);
    }
  }
}

TEST(DataPageTest, FullPageAndRowLimit) {
  const Format& format = kJet4Format;
  std::string buffer(format.page_size, '\0');
  auto* page = reinterpret_cast<uint8_t*>(buffer.data());
  InitDataPage(format, page, 12);
  uint8_t slot;
  const uint32_t biggest = format.page_size - format.data_header_size - 2;
  EXPECT_FALSE(RowFits(format, page, biggest + 1));
  EXPECT_EQ(AddRow(format, page, 7, RowOf(biggest + 1, 'x'), 0, &slot).code(),
            StatusCode::kInvalidArgument);
  ASSERT_TRUE(RowFits(format, page, biggest));

  InitDataPage(format, page, 12);
  for (uint32_t k = 0; k < kMaxRowsPerPage; ++k) {
    ASSERT_TRUE(RowFits(format, page, 4));
    ASSERT_TRUE(AddRow(format, page, 7, RowOf(4, 'r'), 0, &slot).ok());
  }
  EXPECT_FALSE(RowFits(format, page, 4));
  EXPECT_EQ(AddRow(format, page, 7, RowOf(4, 'r'), 0, &slot).code(),
            StatusCode::kInvalidArgument);
  ExpectConsistent(format, page);
}

TEST(DataPageTest, FlagsAndReplaceKeepTheOffsets) {
  const Format& format = kJet4Format;
  std::string buffer = testing::DataPage(format, 12, {{"first"}, {"second"}});
  auto* page = reinterpret_cast<uint8_t*>(buffer.data());
  RowSpan before;
  ASSERT_TRUE(LocateRow(format, page, 7, 1, &before).ok());
  ASSERT_TRUE(SetRowFlags(format, page, 7, 1, kRowDeleted | kRowLookup).ok());
  ASSERT_TRUE(ReplaceRow(format, page, 7, 0, "FIRST").ok());
  EXPECT_EQ(ReplaceRow(format, page, 7, 0, "longer").code(), StatusCode::kInvalidArgument);
  RowSpan after;
  ASSERT_TRUE(LocateRow(format, page, 7, 1, &after).ok());
  EXPECT_EQ(after.start, before.start);
  EXPECT_EQ(after.flags, kRowDeleted | kRowLookup);
  EXPECT_EQ(buffer.substr(format.page_size - 5), "FIRST");
  EXPECT_FALSE(SetRowFlags(format, page, 7, 2, kRowDeleted).ok());
}

TEST(DataPageTest, PageWithWrongFreeSpaceIsNotChanged) {
  const Format& format = kJet4Format;
  std::string buffer = testing::DataPage(format, 12, {{"row"}});
  testing::PutU16(&buffer, 2, 100);
  const std::string before = buffer;
  uint8_t slot;
  Status s = AddRow(format, reinterpret_cast<uint8_t*>(buffer.data()), 7, "new", 0, &slot);
  EXPECT_TRUE(s.IsCorruption());
  EXPECT_NE(s.message().find("page 7"), std::string::npos) << s.message();
  EXPECT_EQ(buffer, before);
}

// Rows added after those Access wrote on a table page of the calendar file.
TEST(DataPageTest, RowsAddedToARealPage) {
  std::ifstream in(std::string(TESSALY_SHARED_DIR) + "/fixtures/tessdata-2009.mdb",
                   std::ios::binary);
  std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(image.size(), 16u * 4096);
  const Format& format = kJet4Format;
  int pages_tried = 0;
  for (size_t at = 4096; at < image.size() && pages_tried < 5; at += 4096) {
    std::string buffer = image.substr(at, 4096);
    auto* page = reinterpret_cast<uint8_t*>(buffer.data());
    if (page[0] != kPageData || buffer.compare(4, 4, "LVAL") == 0) continue;
    if (DataPageFreeSpace(format, page) < 60) continue;
    ++pages_tried;
    uint32_t old_count;
    ASSERT_TRUE(PageRowCount(format, page, 7, &old_count).ok());
    std::vector<RowSpan> old_rows(old_count);
    for (uint32_t k = 0; k < old_count; ++k) ASSERT_TRUE(LocateRow(format, page, 7, k, &old_rows[k]).ok());
    uint8_t slot;
    ASSERT_TRUE(AddRow(format, page, 7, "new row", 0, &slot).ok());
    EXPECT_EQ(slot, old_count);
    ExpectConsistent(format, page);
    RowSpan span;
    ASSERT_TRUE(LocateRow(format, page, 7, slot, &span).ok());
    EXPECT_EQ(buffer.substr(span.start, span.size), "new row");
    for (uint32_t k = 0; k < old_count; ++k) {
      ASSERT_TRUE(LocateRow(format, page, 7, k, &span).ok());
      EXPECT_EQ(buffer.substr(span.start, span.size), image.substr(at + old_rows[k].start, old_rows[k].size));
    }
  }
  EXPECT_EQ(pages_tried, 5);
}

}  // namespace
}  // namespace jet
