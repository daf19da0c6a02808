// Space management on copies of real files: every edit of a table's maps is
// read back with ReadUsageMap against a model, scans still find every row,
// the global map covers the file, and a rollback restores every byte.
#include "jet/space/space.h"

#include <cctype>
#include <cstring>
#include <set>

#include <gtest/gtest.h>

#include "jet/base/coding.h"
#include "jet/database.h"
#include "jet/rows/row_codec.h"
#include "jet/space/usage_map.h"
#include "jet/testing/test_pages.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

constexpr uint32_t kGlobalMap = 1u << 8;  // page 1, row 0; row 1 follows it
const Format& kFormat = kJet4Format;

std::unique_ptr<PageFile> OpenCopy(const std::string& folder, const std::string& name,
                                   std::string* image) {
  tessaly::testing::SharedFileCopy copy(folder, name);
  *image = *ReadWholeFile(copy.path().string());
  auto file = std::make_unique<PageFile>(*image);
  EXPECT_TRUE(file->SetPageSize(kFormat.page_size).ok());
  EXPECT_TRUE(file->BeginUnit().ok());
  return file;
}

std::set<uint32_t> Members(const PageFile& file, uint32_t pointer) {
  UsageMap map;
  EXPECT_TRUE(ReadUsageMap(file, kFormat, pointer, "map", &map).ok());
  if (pointer != kGlobalMap) {  // the global map's bits past the end are free pages
    EXPECT_EQ(map.pages_beyond_end, 0u);
  }
  return {map.pages.begin(), map.pages.end()};
}

std::string RowBytes(const PageFile& file, uint32_t pointer) {
  const uint8_t* page;
  RowSpan span;
  EXPECT_TRUE(FetchRow(file, kFormat, pointer, "map", &page, &span).ok());
  return std::string(reinterpret_cast<const char*>(page) + span.start, span.size);
}

class SpaceTest : public ::testing::TestWithParam<const char*> {};

// tessdata-2009.mdb: inline and reference maps, a 69-byte global row from
// page 0. tessdata-large.mdb: inline maps with windows at 512..816, a 69-byte
// global window starting at page 1024 of its 1147 pages.
TEST_P(SpaceTest, AllocationAndMapEditsOnARealFile) {
  std::string image;
  auto file = OpenCopy("fixtures", GetParam(), &image);
  const std::string second_row = RowBytes(*file, kGlobalMap + 1);
  const uint32_t first_new = file->page_count();
  for (uint32_t page, i = 0; i < 800; ++i) {
    ASSERT_TRUE(AllocatePage(*file, kFormat, &page).ok());
    ASSERT_EQ(page, first_new + i);
  }
  auto db = Database::OpenImage(image);
  const std::vector<std::string> names = *(*db)->UserTableNames();
  for (const std::string& name : names) {
    auto table = (*db)->GetTable(name);
    for (uint32_t map : {table->owned_map_pointer, table->free_map_pointer}) {
      std::set<uint32_t> model = Members(*file, map);
      // Empty, the window moves to the first page added, then down to the
      // next; page 5 is then too far from the others for an inline map.
      std::vector<std::pair<bool, uint32_t>> steps;
      for (uint32_t page : model) steps.push_back({false, page});
      steps.insert(steps.end(), {{true, first_new + 600},
                                 {true, first_new + 650},
                                 {true, first_new + 300},
                                 {true, 5},
                                 {false, first_new + 600},
                                 {true, first_new + 799},
                                 {false, 5},
                                 {false, first_new + 10}});
      for (auto [add, page] : steps) {
        Status s = add ? AddPageToUsageMap(*file, kFormat, map, page)
                       : RemovePageFromUsageMap(*file, kFormat, map, page);
        ASSERT_TRUE(s.ok()) << s.ToString();
        if (add) model.insert(page);
        else model.erase(page);
        ASSERT_EQ(Members(*file, map), model) << name << (add ? " add " : " remove ") << page;
        EXPECT_EQ(*UsageMapHas(*file, kFormat, map, page), add);
      }
    }
  }
  // Every page used, bits past the end free; four bytes per 32 pages, as in
  // Access's 101-byte row for the 743 pages of testV2000.mdb.
  EXPECT_TRUE(Members(*file, kGlobalMap).empty());
  const std::string row = RowBytes(*file, kGlobalMap);
  EXPECT_EQ(row.size(), 5 + (file->page_count() + 31) / 32 * 4);
  EXPECT_EQ(ReadU32(reinterpret_cast<const uint8_t*>(row.data()) + 1), 0u);
  EXPECT_EQ(RowBytes(*file, kGlobalMap + 1), second_row);
  EXPECT_EQ(ReadU16(file->PageOrNull(1) + 2), 4096u - 14 - 2 * 2 - row.size() - second_row.size());

  file->RollbackUnit();
  EXPECT_TRUE(file->Image() == image);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SpaceTest,
                         ::testing::Values("tessdata-2009.mdb", "tessdata-large.mdb"));

// Pages freed and handed out again, on each kind of global map: an inline
// row from page 0, an inline window that starts at page 1024 and a
// reference map. Freed pages are zero-filled and marked free; AllocatePage
// takes the lowest free page first and appends only when none is left;
// a rollback puts every byte back.
struct ReuseCase {
  const char* folder;
  const char* name;
};

class SpaceReuseTest : public ::testing::TestWithParam<ReuseCase> {};

// The pages the global map marks free; of a reference map, the first range
// (testRefGlobalV2000.mdb's last slot names a page far past the end).
std::set<uint32_t> FreePages(const PageFile& file) {
  const std::string row = RowBytes(file, kGlobalMap);
  UsageMap map;
  EXPECT_TRUE(DecodeUsageMap(file, kFormat, reinterpret_cast<const uint8_t*>(row.data()),
                             row[0] == 1 ? 5 : static_cast<uint32_t>(row.size()), &map)
                  .ok());
  return {map.pages.begin(), map.pages.end()};
}

TEST_P(SpaceReuseTest, FreedPagesAreHandedOutLowestFirst) {
  std::string image;
  auto file = OpenCopy(GetParam().folder, GetParam().name, &image);
  // Access's own free pages go first; a reference map without a bitmap page
  // for the file's range gets one, appended before the page handed out.
  uint32_t page;
  for (uint32_t expected : FreePages(*file)) {
    ASSERT_TRUE(AllocatePage(*file, kFormat, &page).ok());
    EXPECT_EQ(page, expected);
  }
  if (RowBytes(*file, kGlobalMap)[0] == 1) {
    ASSERT_TRUE(AllocatePage(*file, kFormat, &page).ok());
  }
  const uint32_t first_new = file->page_count();
  for (uint32_t i = 0; i < 10; ++i) {
    ASSERT_TRUE(AllocatePage(*file, kFormat, &page).ok());
    ASSERT_EQ(page, first_new + i);
    uint8_t* bytes;
    ASSERT_TRUE(file->MutablePage(page, &bytes).ok());
    std::memset(bytes, 0x5A, kFormat.page_size);  // what its owner wrote
  }
  const std::vector<uint32_t> freed = {first_new + 7, first_new + 2, first_new + 9, 3};
  for (uint32_t p : freed) ASSERT_TRUE(FreePage(*file, kFormat, p).ok());
  EXPECT_EQ(FreePages(*file), std::set<uint32_t>(freed.begin(), freed.end()));
  for (uint32_t p : freed) {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file->PageOrNull(p)), kFormat.page_size),
              std::string(kFormat.page_size, '\0'))
        << p;
  }
  for (uint32_t expected : {3u, first_new + 2, first_new + 7, first_new + 9, first_new + 10}) {
    ASSERT_TRUE(AllocatePage(*file, kFormat, &page).ok());
    EXPECT_EQ(page, expected);
  }
  EXPECT_EQ(file->page_count(), first_new + 11);
  EXPECT_TRUE(FreePages(*file).empty());
  for (uint32_t refused : {0u, 1u, 2u, file->page_count()}) {
    EXPECT_EQ(FreePage(*file, kFormat, refused).code(), StatusCode::kInvalidArgument) << refused;
  }
  file->RollbackUnit();
  EXPECT_TRUE(file->Image() == image);
}

INSTANTIATE_TEST_SUITE_P(GlobalMaps, SpaceReuseTest,
                         ::testing::Values(ReuseCase{"fixtures", "tessdata-2009.mdb"},
                                           ReuseCase{"fixtures", "tessdata-large.mdb"},
                                           ReuseCase{"fixtures", "tessdata-2009-access2003.mdb"},
                                           ReuseCase{"corpus", "testRefGlobalV2000.mdb"}),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           name = name.substr(0, name.find('.'));
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(SpaceReferenceGlobalTest, AddsABitmapPageForTheFirstRange) {
  // testV2000.mdb with its global row retyped as a reference map: every
  // slot 0 but a leftover of the old bitmap in the last (0xFFFFFF80).
  std::string image;
  auto file = OpenCopy("corpus", "testRefGlobalV2000.mdb", &image);
  for (uint32_t page, i = 0; i < 50; ++i) ASSERT_TRUE(AllocatePage(*file, kFormat, &page).ok());
  EXPECT_EQ(file->page_count(), 743u + 50 + 1);
  const std::string row = RowBytes(*file, kGlobalMap);
  ASSERT_EQ(row[0], 1);
  UsageMap map;  // the first slot alone
  ASSERT_TRUE(
      DecodeUsageMap(*file, kFormat, reinterpret_cast<const uint8_t*>(row.data()), 5, &map).ok());
  EXPECT_TRUE(map.pages.empty());
  EXPECT_EQ(map.pages_beyond_end, (4096u - 4) * 8 - file->page_count());
}

// Page 1: a 512-page global row (pages 0..2 used) and a row of `filler`
// bytes; page 2: `map` as row 0; then zero pages up to `pages`.
std::unique_ptr<PageFile> HandBuilt(const std::string& map, uint32_t filler, uint32_t pages) {
  std::string global = std::string(1, '\0') + testing::U32(0) + std::string(64, '\xff');
  global[5] = static_cast<char>(0xF8);
  std::vector<std::string> images = {
      std::string(4096, '\0'),
      testing::DataPage(kFormat, 1, {{global}, {std::string(filler, '\0')}}),
      testing::DataPage(kFormat, 0, {{map}})};
  images.resize(pages, std::string(4096, '\0'));
  auto file = std::make_unique<PageFile>(testing::Image(images));
  EXPECT_TRUE(file->SetPageSize(4096).ok() && file->BeginUnit().ok());
  return file;
}

struct WindowCase {
  uint32_t start, member, added;
  uint8_t type;        // after the add
  uint32_t new_start;  // inline only
};

class SpaceWindowTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P(SpaceWindowTest, MovesWhileEveryMemberFitsElsePromotes) {
  const WindowCase& c = GetParam();
  std::string map = std::string(1, '\0') + testing::U32(c.start) + std::string(64, '\0');
  map[5 + (c.member - c.start) / 8] = static_cast<char>(1 << ((c.member - c.start) % 8));
  auto file = HandBuilt(map, 69, 1100);
  ASSERT_TRUE(AddPageToUsageMap(*file, kFormat, 2 << 8, c.added).ok());
  const std::string row = RowBytes(*file, 2 << 8);
  EXPECT_EQ(row[0], c.type);
  if (c.type == 0) {
    EXPECT_EQ(ReadU32(reinterpret_cast<const uint8_t*>(row.data()) + 1), c.new_start);
  }
  EXPECT_EQ(Members(*file, 2 << 8), (std::set<uint32_t>{c.member, c.added}));
}

INSTANTIATE_TEST_SUITE_P(Boundaries, SpaceWindowTest,
                         ::testing::Values(WindowCase{0, 9, 519, 0, 8}, WindowCase{0, 9, 520, 1, 0},
                                           WindowCase{512, 600, 100, 0, 96},
                                           WindowCase{512, 1023, 511, 1, 0}));

// A global row that page 1 cannot grow (3 bytes to spare), 512 pages from
// `start` (slid forward by another writer when not 0), all free. Pages in its
// window are handed out and freed in place; the first past it turns the row
// into a 69-byte reference map that keeps every page's state (outside the
// old window: used), and row 1 of page 1 stays as it was.
struct FullPageOneCase {
  const char* name;
  uint32_t start, pages;  // of the window; of the file
  uint32_t in_window;     // pages handed out before the row changes form
};

class SpaceFullPageOneTest : public ::testing::TestWithParam<FullPageOneCase> {};

TEST_P(SpaceFullPageOneTest, InlineRowBecomesAReferenceMap) {
  const FullPageOneCase& c = GetParam();
  auto file = HandBuilt("", 4082 - 71 - 2 - 3, c.pages);
  uint8_t* page1;
  ASSERT_TRUE(file->MutablePage(1, &page1).ok());
  WriteU32(page1 + ReadU16(page1 + 14) + 1, c.start);
  std::memset(page1 + ReadU16(page1 + 14) + 5, 0xFF, 64);
  const std::string second_row = RowBytes(*file, kGlobalMap + 1);
  uint32_t page = 0, last = 0;
  for (uint32_t i = 0; i < c.in_window; ++i) ASSERT_TRUE(AllocatePage(*file, kFormat, &last).ok());
  ASSERT_TRUE(FreePage(*file, kFormat, last).ok());
  ASSERT_TRUE(AllocatePage(*file, kFormat, &page).ok());
  EXPECT_EQ(page, last);
  ASSERT_EQ(RowBytes(*file, kGlobalMap)[0], 0);
  const uint32_t end = file->page_count();
  ASSERT_TRUE(AllocatePage(*file, kFormat, &page).ok());
  EXPECT_EQ(page, end);
  EXPECT_EQ(file->page_count(), end + 2);  // the page and a bitmap page
  const std::string row = RowBytes(*file, kGlobalMap);
  EXPECT_EQ(row.size(), 69u);
  EXPECT_EQ(row[0], 1);
  EXPECT_EQ(RowBytes(*file, kGlobalMap + 1), second_row);
  EXPECT_EQ(ReadU16(file->PageOrNull(1) + 2), 4096u - 14 - 2 * 2 - 69 - second_row.size());
  EXPECT_TRUE(Members(*file, kGlobalMap).empty());
  for (uint32_t p : {last, page}) ASSERT_TRUE(FreePage(*file, kFormat, p).ok());
  EXPECT_EQ(Members(*file, kGlobalMap), (std::set<uint32_t>{last, page}));
  ASSERT_TRUE(AllocatePage(*file, kFormat, &page).ok());
  EXPECT_EQ(page, last);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, SpaceFullPageOneTest,
    ::testing::Values(FullPageOneCase{"FromPageZero", 0, 3, 509},  // pages 3..511
                      FullPageOneCase{"Slid", 1024, 1100, 512},    // 1024..1535, not 3..1023
                      FullPageOneCase{"SlidAndPassed", 1024, 1600, 512}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jet
