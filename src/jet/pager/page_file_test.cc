// The pager's read side: pages come back as the file holds them however
// they were brought in (one by one or read ahead, across cache chunks, past
// the cache into a reader's buffer, alone or in runs), and pages added
// later start zero-filled.
#include "jet/pager/page_file.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jet/file/memory_file_system.h"
#include "jet/testing/test_pages.h"

namespace jet {
namespace {

constexpr uint32_t kPageSize = 4096;
constexpr uint32_t kPages = 600;  // more than two cache chunks

// Page n is filled with a pattern of its own.
std::string PageImage(uint32_t n) {
  std::string page(kPageSize, '\0');
  for (uint32_t i = 0; i < kPageSize; ++i) page[i] = static_cast<char>((n * 31 + i) % 251);
  return page;
}

std::unique_ptr<PageFile> OpenImage() {
  std::vector<std::string> pages;
  for (uint32_t n = 0; n < kPages; ++n) pages.push_back(PageImage(n));
  auto file = std::make_unique<PageFile>(testing::Image(pages));
  EXPECT_TRUE(file->SetPageSize(kPageSize).ok());
  return file;
}

void ExpectPage(const PageFile& file, uint32_t n) {
  const uint8_t* page = file.PageOrNull(n);
  ASSERT_NE(page, nullptr) << "page " << n;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(page), kPageSize), PageImage(n))
      << "page " << n;
}

std::vector<uint32_t> Range(uint32_t first, uint32_t end) {
  std::vector<uint32_t> pages;
  for (uint32_t n = first; n < end; ++n) pages.push_back(n);
  return pages;
}

// Pages read past the cache, each asking for the pages after it too.
struct UncachedCase {
  const char* name;
  std::vector<uint32_t> cached;  // read through the cache first
  std::vector<uint32_t> pages;   // then looked at through a buffer, in order
  uint32_t ahead;
};

class UncachedReadTest : public ::testing::TestWithParam<UncachedCase> {};

TEST_P(UncachedReadTest, PagesMatchTheFile) {
  std::unique_ptr<PageFile> file = OpenImage();
  for (uint32_t n : GetParam().cached) ExpectPage(*file, n);
  PageBuffer buffer(4);
  for (uint32_t n : GetParam().pages) {
    const uint8_t* page = nullptr;
    ASSERT_TRUE(file->GetPageUncached(n, "a test", &buffer, &page, GetParam().ahead).ok()) << n;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(page), kPageSize), PageImage(n)) << n;
  }
  for (uint32_t n = 0; n < kPages; ++n) ExpectPage(*file, n);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, UncachedReadTest,
    ::testing::Values(UncachedCase{"one_by_one", {}, {3, 4, 9, 4, 3}, 0},
                      UncachedCase{"runs_longer_than_the_buffer", {}, Range(0, 30), 10},
                      UncachedCase{"around_cached_pages", {6, 7, 20}, Range(2, 25), 3},
                      UncachedCase{"backwards", {}, {20, 19, 18, 17, 16, 15}, 3},
                      UncachedCase{"to_the_end", {598}, {595, 596, 597, 598, 599}, 8}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageFileTest, PagesReadOneByOneMatchTheFile) {
  // Over two cache chunks, in and out of order.
  std::unique_ptr<PageFile> file = OpenImage();
  for (uint32_t n = kPages; n-- > kPages - 40;) ExpectPage(*file, n);
  for (uint32_t n = 0; n < kPages; ++n) ExpectPage(*file, n);
  EXPECT_EQ(file->PageOrNull(kPages), nullptr);
}

TEST(PageFileTest, UncachedReadsSeeTheFileAndWhatTheCacheChanged) {
  std::unique_ptr<PageFile> file = OpenImage();
  PageBuffer buffer;
  const uint8_t* page = nullptr;
  for (const uint32_t n : {7u, 7u, 8u, 3u}) {
    ASSERT_TRUE(file->GetPageUncached(n, "a test", &buffer, &page).ok());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(page), kPageSize), PageImage(n)) << n;
  }
  // A page changed in the cache is seen as changed, even by a buffer that
  // held it before.
  ASSERT_TRUE(file->GetPageUncached(5, "a test", &buffer, &page).ok());
  ASSERT_TRUE(file->BeginUnit().ok());
  uint8_t* changed = nullptr;
  ASSERT_TRUE(file->MutablePage(5, &changed).ok());
  changed[0] = 0xAB;
  ASSERT_TRUE(file->GetPageUncached(5, "a test", &buffer, &page).ok());
  EXPECT_EQ(page, changed);
  file->RollbackUnit();
  ASSERT_TRUE(file->GetPageUncached(5, "a test", &buffer, &page).ok());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(page), kPageSize), PageImage(5));
  // Past the end: as GetPage says.
  Status s = file->GetPageUncached(kPages, "a test", &buffer, &page);
  EXPECT_EQ(s.code(), StatusCode::kCorruption) << s.ToString();
  EXPECT_NE(s.message().find("a test points at page 600"), std::string::npos) << s.ToString();
}

TEST(PageFileTest, AddedPagesStartZeroFilled) {
  std::unique_ptr<PageFile> file = OpenImage();
  for (uint32_t n = 0; n < 10; ++n) ExpectPage(*file, n);
  ASSERT_TRUE(file->BeginUnit().ok());
  for (int i = 0; i < 3; ++i) {
    uint32_t added = 0;
    ASSERT_TRUE(file->AppendPage(&added).ok());
    const uint8_t* page = file->PageOrNull(added);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(page), kPageSize),
              std::string(kPageSize, '\0'));
  }
  file->RollbackUnit();
  ExpectPage(*file, 9);
}

// A writer and a reader of one file in memory: the reader keeps the state
// it opened on, a second writer is refused, the checkpoint waits for the
// reader, and then the file holds the units and the log is gone (P3,
// P6-P8).
TEST(PageFileTest, AReaderBesideAWriterOnFilesInMemory) {
  MemoryFileSystem files;
  std::vector<std::string> pages;
  for (uint32_t n = 0; n < 10; ++n) pages.push_back(PageImage(n));
  files.Put("db", testing::Image(pages));
  PageFileOptions options;
  options.file_system = &files;
  options.busy_timeout_ms = 0;
  auto open = [&](bool writable) {
    options.writable = writable;
    auto file = PageFile::Open("db", options);
    EXPECT_TRUE(file.ok() && (*file)->SetPageSize(kPageSize).ok());
    return file.ok() ? std::move(file).value() : nullptr;
  };
  auto change = [](PageFile& file, uint32_t n, uint8_t value) {
    uint8_t* page = nullptr;
    ASSERT_TRUE(file.BeginUnit().ok() && file.MutablePage(n, &page).ok());
    page[0] = value;
    ASSERT_TRUE(file.CommitUnit().ok());
  };
  auto writer = open(true);
  change(*writer, 3, 0xA1);
  auto reader = open(false);
  EXPECT_EQ(reader->PageOrNull(3)[0], 0xA1) << "read from the writer's log";
  options.writable = true;
  EXPECT_EQ(PageFile::Open("db", options).status().code(), StatusCode::kBusy);
  change(*writer, 4, 0xB2);
  EXPECT_EQ(reader->PageOrNull(4)[0], static_cast<uint8_t>(PageImage(4)[0]));
  EXPECT_EQ(writer->Checkpoint().code(), StatusCode::kBusy);
  EXPECT_TRUE(*files.Get("db") == testing::Image(pages)) << "copied under an open reader";

  reader.reset();
  ASSERT_TRUE(writer->Close().ok());
  EXPECT_EQ(writer->state(), PagerState::kClosed);
  pages[3][0] = '\xA1';
  pages[4][0] = '\xB2';
  EXPECT_TRUE(*files.Get("db") == testing::Image(pages));
  EXPECT_FALSE(files.Exists("db-wal"));
}

}  // namespace
}  // namespace jet
