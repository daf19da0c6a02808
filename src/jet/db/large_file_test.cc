// A file grown by the engine past the size where its global page map leaves
// page 1 for bitmap pages (about 125 MB of Jet 4, 31 MB of Jet 3) stays
// readable by our check, mdbtools and the independent index checker.
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jet/base/coding.h"
#include "jet/database.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/temp_folder.h"

namespace jet {
namespace {

struct LargeCase {
  const char* name;
  JetVersion version;
  uint32_t page_size;
  uint32_t row_offsets;    // page 1's offset table
  uint32_t reference_row;  // bytes of a reference global row (bitmap pages for 2 GB / 1 GB)
  uint64_t target;         // file size to grow past
};

class LargeFileTest : public ::testing::TestWithParam<LargeCase> {};

TEST_P(LargeFileTest, GlobalMapOutgrowsPageOne) {
  const LargeCase& c = GetParam();
  const tessaly::testing::TempFolder folder("jet_large");  // 150 MB: gone whatever the outcome
  const std::string path = (folder.path() / "large.mdb").string();
  // The bulk in a table without indexes, which the index checker reads once;
  // rows of an indexed table between them, so that its pages lie all over.
  const size_t blob_bytes = 1 << 20;
  size_t blobs = 0;
  {
    CreateOptions options;
    options.version = c.version;
    options.open.sync = false;
    auto db = std::move(Database::Create(path, options).value());
    ASSERT_TRUE(db->CreateTable({"t",
                                 {{"id", ColumnType::kLong, 0, true}, {"n", ColumnType::kText, 50}},
                                 {{"PrimaryKey", {{"id"}}, true}, {"ni", {{"n"}}}}})
                    .ok());
    ASSERT_TRUE(db->CreateTable({"blobs", {{"data", ColumnType::kOle}}, {}}).ok());
    auto t = db->GetTable("t"), b = db->GetTable("blobs");
    std::string blob(blob_bytes, '\0'), name;
    for (; blobs * blob_bytes < c.target; ++blobs) {
      ASSERT_TRUE(db->Begin().ok());
      for (int k = 0; k < 5; ++k) {
        name = "name " + std::to_string(blobs) + "." + std::to_string(k);
        ASSERT_TRUE(db->Insert(*t, {Value::Null(), Value::Bytes(Value::Kind::kText, name)}).ok());
      }
      blob[blobs % blob_bytes] = 'x';
      ASSERT_TRUE(db->Insert(*b, {Value::Bytes(Value::Kind::kBinary, blob)}).ok());
      ASSERT_TRUE(db->Commit().ok());
    }
    ASSERT_TRUE(db->Close().ok());
  }
  EXPECT_GT(std::filesystem::file_size(path), c.target);
  std::ifstream in(path, std::ios::binary);
  std::string page(c.page_size, '\0');
  in.seekg(c.page_size).read(page.data(), c.page_size);
  const uint32_t row = ReadU16(reinterpret_cast<const uint8_t*>(page.data()) + c.row_offsets);
  EXPECT_EQ(c.page_size - row, c.reference_row);
  EXPECT_EQ(page[row], 1);  // a reference row

  auto db = Database::Open(path);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  EXPECT_THAT(*(*db)->Check(), ::testing::IsEmpty());
  if (!tessaly::testing::kLinuxOracles) return;
  auto count = tessaly::testing::RunProcess({"mdb-count", path, "blobs"});
  EXPECT_EQ(count.out, std::to_string(blobs) + "\n") << count.err;
  auto check = tessaly::testing::RunJetcheck(path);
  if (check.java_missing) GTEST_SKIP() << "java is missing: " << check.error;
  EXPECT_TRUE(check.passed()) << check.output << check.error;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LargeFileTest,
    ::testing::Values(LargeCase{"Jet4", JetVersion::kJet4, 4096, 14, 69, 150ull << 20},
                      LargeCase{"Jet3", JetVersion::kJet3, 2048, 10, 133, 40ull << 20}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jet
