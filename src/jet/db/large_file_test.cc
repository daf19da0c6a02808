// A file grown by the engine past the size where the global page map no
// longer fits page 1 inline (about 125 MB of Jet 4, 31 MB of Jet 3): it
// becomes a map of bitmap pages, pages freed past that point are handed out
// again, and the file stays readable by our check, mdbtools and the
// independent index checker. Then the same file with its map turned into an
// inline window near its end, as another writer slides it, grows on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "jet/base/coding.h"
#include "jet/database.h"
#include "jet/testing/test_util.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/temp_folder.h"

namespace jet {
namespace {

using testing::ColumnIndex;

constexpr size_t kBlobBytes = 1 << 20;

struct LargeCase {
  const char* name;
  JetVersion version;
  uint32_t page_size;
  uint32_t first_row_offset;  // of page 1's offset table
  uint32_t reference_row;     // bytes of a reference global row: 2 GB / 1 GB of bitmap pages
  uint64_t target;            // file size to grow past
};

void PrintTo(const LargeCase& c, std::ostream* out) { *out << c.name; }

// Page 1, and where its row 0, the global page map, starts.
std::string PageOne(const std::string& path, const LargeCase& c, uint32_t* row_start) {
  std::ifstream in(path, std::ios::binary);
  std::string page(c.page_size, '\0');
  in.seekg(c.page_size);
  in.read(page.data(), c.page_size);
  *row_start = ReadU16(reinterpret_cast<const uint8_t*>(page.data()) + c.first_row_offset) & 0x1FFF;
  return page;
}

std::string GlobalRow(const std::string& path, const LargeCase& c) {
  uint32_t start = 0;
  return PageOne(path, c, &start).substr(start);
}

// Inserts rows with a 1 MB OLE value each (about 258 pages) into `blobs`
// until they hold `bytes`, eight to a unit with 40 rows of `t` (whose data
// and index pages so lie all over the file); returns the ids of the blobs.
// The bulk goes into a table without indexes: the index checker reads such a
// table once, not once per index and row.
std::vector<RowId> Grow(Database& db, uint64_t bytes) {
  auto t = db.GetTable("t");
  auto blobs = db.GetTable("blobs");
  EXPECT_TRUE(t.ok() && blobs.ok());
  std::vector<RowId> ids;
  std::string name, blob(kBlobBytes, '\0');
  while (ids.size() * kBlobBytes < bytes) {
    EXPECT_TRUE(db.Begin().ok());
    for (int k = 0; k < 40; ++k) {
      name = "name " + std::to_string(ids.size()) + "." + std::to_string(k);
      std::vector<Value> values(t->columns.size());
      values[ColumnIndex(*t, "name")] = Value::Bytes(Value::Kind::kText, name);
      auto inserted = db.Insert(*t, values);
      EXPECT_TRUE(inserted.ok()) << inserted.status().ToString();
      if (!inserted.ok()) return ids;
    }
    for (int k = 0; k < 8; ++k) {
      const size_t n = ids.size();
      for (size_t i = 0; i < blob.size(); i += 512) blob[i] = static_cast<char>(n + i / 512);
      auto inserted = db.Insert(*blobs, {Value::Bytes(Value::Kind::kBinary, blob)});
      EXPECT_TRUE(inserted.ok()) << inserted.status().ToString();
      if (!inserted.ok()) return ids;
      ids.push_back(inserted->id);
    }
    EXPECT_TRUE(db.Commit().ok());
  }
  return ids;
}

void ExpectReadable(const std::string& path, size_t blobs) {
  auto db = Database::Open(path);
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  auto problems = (*db)->Check();
  ASSERT_TRUE(problems.ok());
  EXPECT_THAT(*problems, ::testing::IsEmpty());
  auto t = (*db)->GetTable("blobs");
  EXPECT_EQ(t->row_count, blobs);
  if (!tessaly::testing::kLinuxOracles) return;
  auto count = tessaly::testing::RunProcess({"mdb-count", path, "blobs"});
  EXPECT_EQ(count.exit_code, 0) << count.err;
  EXPECT_EQ(count.out, std::to_string(blobs) + "\n");
  auto check = tessaly::testing::RunJetcheck(path);
  if (check.java_missing) GTEST_SKIP() << "java is missing: " << check.error;
  EXPECT_TRUE(check.passed()) << check.output << check.error;
}

std::unique_ptr<Database> OpenToWrite(const std::string& path) {
  OpenOptions options;
  options.read_only = false;
  options.sync = false;
  auto db = Database::Open(path, options);
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  return db.ok() ? std::move(db).value() : nullptr;
}

class LargeFileTest : public ::testing::TestWithParam<LargeCase> {};

TEST_P(LargeFileTest, GlobalMapOutgrowsPageOne) {
  const LargeCase& c = GetParam();
  const std::filesystem::path dir = tessaly::testing::MakeTempFolder("jet_large");
  const std::string path = (dir / "large.mdb").string();
  std::vector<RowId> ids;
  {
    CreateOptions options;
    options.version = c.version;
    options.open.sync = false;
    auto db = std::move(Database::Create(path, options).value());
    TableDesign design;
    design.name = "t";
    design.columns = {{"id", ColumnType::kLong, 0, true}, {"name", ColumnType::kText, 50}};
    design.indexes = {{"PrimaryKey", {{"id"}}, true}, {"ni", {{"name"}}}};
    ASSERT_TRUE(db->CreateTable(design).ok());
    ASSERT_TRUE(db->CreateTable({"blobs", {{"data", ColumnType::kOle}}, {}}).ok());
    ids = Grow(*db, c.target);
    ASSERT_TRUE(db->Close().ok());
  }
  ASSERT_FALSE(HasFailure());
  const uint64_t grown = std::filesystem::file_size(path);
  EXPECT_GT(grown, c.target);
  std::string row = GlobalRow(path, c);
  ASSERT_EQ(row.size(), c.reference_row);
  EXPECT_EQ(row[0], 1);

  // Values replaced by short ones give their pages back to the bitmap pages;
  // the next rows take them instead of growing the file.
  {
    auto db = OpenToWrite(path);
    ASSERT_TRUE(db);
    auto t = db->GetTable("blobs");
    const size_t data = ColumnIndex(*t, "data");
    ASSERT_TRUE(db->Begin().ok());
    for (size_t i = 10; i < 18; ++i) {
      const Value short_value = Value::Bytes(Value::Kind::kBinary, "short");
      ASSERT_TRUE(db->Update(*t, ids[i], {{data, short_value}}).ok());
    }
    ASSERT_TRUE(db->Commit().ok());
    ids.resize(ids.size() + Grow(*db, 8 * kBlobBytes).size());
    ASSERT_TRUE(db->Close().ok());
  }
  EXPECT_LT(std::filesystem::file_size(path), grown + kBlobBytes / 2);
  ExpectReadable(path, ids.size());

  // An inline window of the same row length ending past the last page
  // (those pages free), as another writer leaves it; the bitmap pages are
  // left behind.
  const auto pages = static_cast<uint32_t>(std::filesystem::file_size(path) / c.page_size);
  {
    uint32_t at = 0;
    std::string page = PageOne(path, c, &at);
    auto* map = reinterpret_cast<uint8_t*>(page.data()) + at;
    const uint32_t reach = (c.reference_row - 5) * 8;
    const uint32_t start = (pages - 100) & ~7u;
    std::memset(map, 0, c.reference_row);
    WriteU32(map + 1, start);
    for (uint32_t k = pages - start; k < reach; ++k) {
      map[5 + k / 8] |= static_cast<uint8_t>(1 << (k % 8));
    }
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(c.page_size);
    f.write(page.data(), c.page_size);
  }
  {
    auto db = OpenToWrite(path);
    ASSERT_TRUE(db);
    ids.resize(ids.size() + Grow(*db, 3 * kBlobBytes).size());
    ASSERT_TRUE(db->Close().ok());
  }
  row = GlobalRow(path, c);
  ASSERT_EQ(row.size(), c.reference_row);
  EXPECT_EQ(row[0], 1);
  EXPECT_GT(std::filesystem::file_size(path), uint64_t{pages} * c.page_size + 2 * kBlobBytes);
  ExpectReadable(path, ids.size());
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LargeFileTest,
    ::testing::Values(LargeCase{"Jet4", JetVersion::kJet4, 4096, 14, 69, 150ull << 20},
                      LargeCase{"Jet3", JetVersion::kJet3, 2048, 10, 133, 40ull << 20}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jet
