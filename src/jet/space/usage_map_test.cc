// Usage maps: inline bitmaps, reference maps over 0x05 pages, and damage.
#include "jet/space/usage_map.h"

#include <gtest/gtest.h>

#include "jet/testing/test_pages.h"

namespace jet {
namespace {

using testing::DataPage;
using testing::U32;

class UsageMapTest : public ::testing::Test {
 protected:
  void SetPages(const Format& format, std::vector<std::string> pages, uint32_t total_pages) {
    while (pages.size() < total_pages) pages.push_back(std::string(format.page_size, '\0'));
    file_ = std::make_unique<PageFile>(testing::Image(pages));
    ASSERT_TRUE(file_->SetPageSize(format.page_size).ok());
  }
  Status Decode(const Format& format, const std::string& row, UsageMap* map) {
    return DecodeUsageMap(*file_, format, reinterpret_cast<const uint8_t*>(row.data()),
                          static_cast<uint32_t>(row.size()), map);
  }
  std::unique_ptr<PageFile> file_;
};

TEST_F(UsageMapTest, InlineMapListsSetBitsFromItsStartPage) {
  SetPages(kJet4Format, {}, 40);
  std::string row = std::string(1, '\0') + U32(16) + std::string("\x05\x80\x00\x01", 4);
  UsageMap map;
  ASSERT_TRUE(Decode(kJet4Format, row, &map).ok());
  EXPECT_EQ(map.pages, (std::vector<uint32_t>{16, 18, 31}));
  EXPECT_EQ(map.pages_beyond_end, 1u);  // bit 24 -> page 40, past the file
}

TEST_F(UsageMapTest, ReferenceMapReadsBitmapPages) {
  for (const Format* format : {&kJet3Format, &kJet4Format}) {
    std::string bitmap_page(format->page_size, '\0');
    bitmap_page[0] = kPageUsageMap;
    bitmap_page[1] = 1;
    bitmap_page[4] = 0x0C;  // pages 2 and 3
    bitmap_page[5] = 0x01;  // page 8
    std::vector<std::string> pages(5, std::string(format->page_size, '\0'));
    pages.push_back(bitmap_page);  // page 5
    SetPages(*format, pages, 10);
    std::string row = std::string(1, '\x01') + U32(5) + U32(0);
    UsageMap map;
    ASSERT_TRUE(Decode(*format, row, &map).ok());
    EXPECT_EQ(map.pages, (std::vector<uint32_t>{2, 3, 8}));
  }
}

TEST_F(UsageMapTest, SecondReferenceCoversTheNextRangeOfPages) {
  std::string bitmap_page(4096, '\0');
  bitmap_page[0] = kPageUsageMap;
  bitmap_page[4] = 0x01;
  SetPages(kJet4Format, {std::string(4096, '\0'), std::string(4096, '\0'), bitmap_page}, 3);
  std::string row = std::string(1, '\x01') + U32(0) + U32(2);
  UsageMap map;
  ASSERT_TRUE(Decode(kJet4Format, row, &map).ok());
  EXPECT_TRUE(map.pages.empty());
  EXPECT_EQ(map.pages_beyond_end, 1u);  // page 32736 of a 3-page file
}

struct BadMapCase {
  const char* name;
  std::string row;
  const char* message_part;
};

class BadUsageMapTest : public UsageMapTest, public ::testing::WithParamInterface<BadMapCase> {};

TEST_P(BadUsageMapTest, IsCorruption) {
  SetPages(kJet4Format, {}, 4);
  UsageMap map;
  Status s = Decode(kJet4Format, GetParam().row, &map);
  ASSERT_EQ(s.code(), StatusCode::kCorruption) << s.ToString();
  EXPECT_NE(s.message().find(GetParam().message_part), std::string::npos) << s.ToString();
}

INSTANTIATE_TEST_SUITE_P(
    Damage, BadUsageMapTest,
    ::testing::Values(BadMapCase{"empty", "", "empty"},
                      BadMapCase{"inline_short", std::string("\0\1", 2), "too short"},
                      BadMapCase{"unknown_type", std::string("\x07\0\0\0\0", 5), "type 7"},
                      BadMapCase{"reference_past_end", std::string(1, '\x01') + U32(50), "page 50"},
                      BadMapCase{"reference_not_map_page", std::string(1, '\x01') + U32(2),
                                 "not a usage map page"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UsageMapTest, ReadUsageMapNamesTheMapAndItsRow) {
  SetPages(kJet4Format,
           {std::string(4096, '\0'), std::string(4096, '\0'),
            DataPage(kJet4Format, 0, {{std::string("\x09", 1)}})},
           4);
  UsageMap map;
  Status s = ReadUsageMap(*file_, kJet4Format, 2 << 8 | 0, "owned-page map of table T", &map);
  ASSERT_EQ(s.code(), StatusCode::kCorruption);
  EXPECT_NE(s.message().find("owned-page map of table T (page 2 row 0)"), std::string::npos)
      << s.ToString();
}

}  // namespace
}  // namespace jet
