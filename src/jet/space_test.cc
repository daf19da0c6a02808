// Space management on copies of real files: every edit of a table's maps is
// read back with ReadUsageMap against a model, allocation keeps the global
// map covering the file, and rolling the unit back restores every byte.
#include "jet/space.h"

#include <gtest/gtest.h>

#include <set>

#include "jet/coding.h"
#include "jet/data_page.h"
#include "jet/row_codec.h"
#include "jet/test_pages.h"
#include "jet/usage_map.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

constexpr uint32_t kGlobalMap = 1u << 8;  // page 1, row 0
const Format& kFormat = kJet4Format;

std::string LoadCopy(const std::string& folder, const std::string& name) {
  tessaly::testing::SharedFileCopy copy(folder, name);
  Result<std::string> image = ReadWholeFile(copy.path().string());
  EXPECT_TRUE(image.ok()) << image.status().ToString();
  return image.ok() ? *image : std::string();
}

std::set<uint32_t> Members(const PageFile& file, uint32_t pointer) {
  UsageMap map;
  Status s = ReadUsageMap(file, kFormat, pointer, "map under test", &map);
  EXPECT_TRUE(s.ok()) << s.ToString();
  if (pointer != kGlobalMap) EXPECT_EQ(map.pages_beyond_end, 0u);  // the global map's are free
  return {map.pages.begin(), map.pages.end()};
}

std::string RowBytes(const PageFile& file, uint32_t pointer) {
  const uint8_t* page;
  RowSpan span;
  EXPECT_TRUE(FetchRow(file, kFormat, pointer, "map", &page, &span).ok());
  return std::string(reinterpret_cast<const char*>(page) + span.start, span.size);
}

class SpaceTest : public ::testing::TestWithParam<const char*> {
 protected:
  void Open(const std::string& folder, const std::string& name) {
    image_ = LoadCopy(folder, name);
    file_ = std::make_unique<PageFile>(image_);
    ASSERT_TRUE(file_->SetPageSize(kFormat.page_size).ok());
    ASSERT_TRUE(file_->BeginUnit().ok());
  }
  void Allocate(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t page;
      ASSERT_TRUE(AllocatePage(*file_, kFormat, &page).ok());
      ASSERT_EQ(page, file_->page_count() - 1);
    }
  }
  std::string image_;
  std::unique_ptr<PageFile> file_;
};

TEST_P(SpaceTest, MapEditsMatchAModelAndRollBack) {
  Open("fixtures", GetParam());
  auto db = Database::OpenImage(image_);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  std::vector<uint32_t> maps;
  auto names = (*db)->UserTableNames();
  ASSERT_TRUE(names.ok());
  for (const std::string& name : *names) {
    auto table = (*db)->GetTable(name);
    ASSERT_TRUE(table.ok());
    maps.insert(maps.end(), {table->owned_map_pointer, table->free_map_pointer});
  }
  const uint32_t first_new = file_->page_count();
  Allocate(800);
  int moves = 0, promotions = 0;
  for (uint32_t map : maps) {
    std::set<uint32_t> model = Members(*file_, map);
    std::vector<std::pair<bool, uint32_t>> steps;
    for (uint32_t page : model) steps.push_back({false, page});
    // An empty window moves to the first page, then down to take a lower one;
    // page 5 is then too far from the others for an inline map.
    for (uint32_t offset : {600u, 650u, 300u}) steps.push_back({true, first_new + offset});
    steps.insert(steps.end(), {{true, 5}, {false, first_new + 600}, {true, first_new + 799},
                               {false, 5}, {false, first_new + 10}});
    for (auto [add, page] : steps) {
      const std::string before = RowBytes(*file_, map);
      Status s = add ? AddPageToUsageMap(*file_, kFormat, map, page)
                     : RemovePageFromUsageMap(*file_, kFormat, map, page);
      ASSERT_TRUE(s.ok()) << s.ToString();
      if (add) model.insert(page); else model.erase(page);
      ASSERT_EQ(Members(*file_, map), model) << "map " << map << (add ? " add " : " remove ") << page;
      EXPECT_EQ(*UsageMapHas(*file_, kFormat, map, page), add);
      const std::string after = RowBytes(*file_, map);
      ASSERT_EQ(after.size(), before.size());
      if (before[0] == 0 && after[0] == 0 && before.substr(1, 4) != after.substr(1, 4)) ++moves;
      if (before[0] == 0 && after[0] == 1) ++promotions;
    }
  }
  EXPECT_GT(moves, 0);
  EXPECT_GT(promotions, 0);
  EXPECT_TRUE(Members(*file_, kGlobalMap).empty());  // bitmap pages were allocated too
  file_->RollbackUnit();
  EXPECT_TRUE(file_->Image() == image_);
}

// tessdata-2009.mdb: a 69-byte global row from page 0; tessdata-large.mdb:
// a 69-byte window starting at page 1024 of its 1147 pages.
TEST_P(SpaceTest, GlobalMapGrowsToCoverEveryAllocatedPage) {
  Open("fixtures", GetParam());
  const std::string second_row = RowBytes(*file_, kGlobalMap + 1);
  Allocate(700);
  const uint32_t page_count = file_->page_count();
  EXPECT_TRUE(Members(*file_, kGlobalMap).empty());
  // Four bytes per 32 pages, as Access's 101-byte row for testV2000.mdb's 743.
  const std::string row = RowBytes(*file_, kGlobalMap);
  EXPECT_EQ(row.size(), 5 + (page_count + 31) / 32 * 4);
  EXPECT_EQ(ReadU32(reinterpret_cast<const uint8_t*>(row.data()) + 1), 0u);
  UsageMap map;
  ASSERT_TRUE(ReadUsageMap(*file_, kFormat, kGlobalMap, "global", &map).ok());
  EXPECT_EQ(map.pages_beyond_end, (row.size() - 5) * 8 - page_count);  // past the end: free
  EXPECT_EQ(RowBytes(*file_, kGlobalMap + 1), second_row);
  const uint8_t* page1 = file_->PageOrNull(1);
  EXPECT_EQ(ReadU16(page1 + 2), 4096u - 14 - 2 * 2 - row.size() - second_row.size());
}

size_t CountRows(const std::string& image, const std::string& table_name) {
  auto db = Database::OpenImage(image);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  auto table = (*db)->GetTable(table_name);
  auto cursor = (*db)->Scan(*table);
  Row row;
  Status s;
  size_t rows = 0;
  while ((*cursor)->Next(&row, &s)) ++rows;
  EXPECT_TRUE(s.ok()) << s.ToString();
  return rows;
}

TEST_P(SpaceTest, TableScansStillFindEveryRowAfterTheOwnedMapGrows) {
  Open("fixtures", GetParam());
  auto db = Database::OpenImage(image_);
  auto names = (*db)->UserTableNames();
  ASSERT_TRUE(names.ok());
  Allocate(600);
  for (const std::string& name : *names) {
    auto table = (*db)->GetTable(name);
    uint32_t page_number;  // an empty data page far from the table's others
    uint8_t* page;
    ASSERT_TRUE(AllocatePage(*file_, kFormat, &page_number).ok());
    ASSERT_TRUE(file_->MutablePage(page_number, &page).ok());
    InitDataPage(kFormat, page, table->tdef_page);
    ASSERT_TRUE(AddPageToUsageMap(*file_, kFormat, table->owned_map_pointer, page_number).ok());
    ASSERT_TRUE(AddPageToUsageMap(*file_, kFormat, table->free_map_pointer, page_number).ok());
  }
  ASSERT_TRUE(file_->CommitUnit().ok());
  for (const std::string& name : *names) {
    EXPECT_EQ(CountRows(file_->Image(), name), CountRows(image_, name)) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SpaceTest,
                         ::testing::Values("tessdata-2009.mdb", "tessdata-large.mdb"));

TEST(SpaceReferenceGlobalTest, AddsABitmapPageForTheFirstRange) {
  // testV2000.mdb with its global row retyped as a reference map: every
  // slot 0 but a leftover of the old bitmap in the last (0xFFFFFF80).
  PageFile file(LoadCopy("corpus", "testRefGlobalV2000.mdb"));
  ASSERT_TRUE(file.SetPageSize(4096).ok());
  ASSERT_TRUE(file.BeginUnit().ok());
  for (int i = 0; i < 50; ++i) {
    uint32_t page;
    ASSERT_TRUE(AllocatePage(file, kFormat, &page).ok());
  }
  EXPECT_EQ(file.page_count(), 743u + 50 + 1);
  const std::string row = RowBytes(file, kGlobalMap);
  ASSERT_EQ(row[0], 1);
  UsageMap map;  // decode the first slot alone
  ASSERT_TRUE(DecodeUsageMap(file, kFormat, reinterpret_cast<const uint8_t*>(row.data()), 5, &map).ok());
  EXPECT_TRUE(map.pages.empty());
  EXPECT_EQ(map.pages_beyond_end, (4096u - 4) * 8 - file.page_count());
}

TEST(SpaceLimitTest, FullPageOneIsDatabaseTooLarge) {
  // Page 1 with 3 bytes to spare: the 512-page row cannot grow.
  std::string global = std::string(1, '\0') + testing::U32(0) + std::string(64, '\xff');
  for (int page = 0; page < 3; ++page) global[5] = static_cast<char>(global[5] & ~(1 << page));
  std::string page1 = testing::DataPage(kFormat, 1, {{global}, {std::string(4082 - 4 - 69 - 3, '\0')}});
  PageFile file(testing::Image({std::string(4096, '\0'), page1, std::string(4096, '\0')}));
  ASSERT_TRUE(file.SetPageSize(4096).ok());
  ASSERT_TRUE(file.BeginUnit().ok());
  Status s;
  uint32_t page, allocated = 0;
  while ((s = AllocatePage(file, kFormat, &page)).ok() && allocated < 600) ++allocated;
  EXPECT_EQ(s.code(), StatusCode::kNotSupported);
  EXPECT_NE(s.message().find("database too large"), std::string::npos) << s.ToString();
  EXPECT_EQ(allocated, 512u - 3);  // pages 3 .. 511
}

}  // namespace
}  // namespace jet
