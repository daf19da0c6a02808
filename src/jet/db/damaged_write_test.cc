// Writing into damaged calendars: each case damages one byte of a page that
// inserting a day into Dates reads before it writes (an index leaf or node,
// a data page, a usage map, the table definition). The insert must fail
// with a Corruption naming what is wrong, whether it runs as a unit of its
// own or as a statement of an open unit that is then committed, and the
// file must stay byte for byte as it was.
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/testing/test_util.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using tessaly::testing::SharedFileCopy;
using testing::FileBytes;

// Pages of tessdata-textindex.mdb: Dates has its definition on page 24, its
// usage maps on page 25 (row 0 owned pages, row 1 free space), its last
// page with room on page 59; index PrimaryKey is the node 26 over leaves 55
// and 54, index DateColor the node 27 over leaves 52 and 51.
struct DamageCase {
  const char* name;
  uint32_t page;
  uint32_t offset;
  uint8_t byte;
  const char* message;  // a part of the error text
};

const DamageCase kDamage[] = {
    // An extra end-of-entry bit in the mask cuts an entry in two.
    {"IndexLeafMask", 51, 219, 0x08,
     "index DateColor of table Dates, page 51: entry 118 key 7F (page 6713193, row 102) is not "
     "greater than the one before it"},
    // The node's tail child names a leaf of the other index of the table.
    {"IndexNodeChild", 27, 20, 55,
     "index DateColor of table Dates, page 55: not in the index's usage map"},
    {"DataPageFreeSpace", 59, 3, 0x0F, "disagrees with the"},
    {"UsageMapType", 25, 3958, 7,
     "free-space map of table Dates (page 25 row 1): unknown usage map type 7"},
    // The free-space map pointer names page 200 of a 60-page file.
    {"TableDefMapPointer", 24, 60, 200, "points at page 200 beyond the end of the file"},
    // EventCount's fixed offset 8 becomes 4, inside DateKey's eight bytes.
    {"TableDefFixedOffset", 24, 158, 4,
     "table Dates: columns DateKey and EventCount share their fixed bytes in the definition on "
     "page 24"},
};

class DamagedWriteTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedWriteTest, FailsWithCorruptionAndLeavesTheFileAsItWas) {
  const DamageCase& c = GetParam();
  for (const bool in_unit : {false, true}) {
    SCOPED_TRACE(in_unit ? "a statement of a unit" : "a unit of its own");
    SharedFileCopy copy("fixtures", "tessdata-textindex.mdb");
    {
      std::fstream file(copy.path(), std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(std::streamoff{c.page} * 4096 + c.offset);
      file.put(static_cast<char>(c.byte));
    }
    const std::string before = FileBytes(copy.path());
    {
      auto db = testing::OpenForWriting(copy.path());
      ASSERT_TRUE(db);
      auto dates = db->GetTable("Dates");
      ASSERT_TRUE(dates.ok()) << dates.status().ToString();
      std::vector<Value> values(dates->columns.size());
      values[testing::ColumnIndex(*dates, "DateKey")] = Value::Real(Value::Kind::kDateTime, 50000);
      values[testing::ColumnIndex(*dates, "DateColor")] = Value::Bytes(Value::Kind::kText, "White");
      if (in_unit) {
        ASSERT_TRUE(db->Begin().ok());
      }
      Status s = db->Insert(*dates, values).status();
      EXPECT_EQ(s.code(), StatusCode::kCorruption) << s.ToString();
      EXPECT_THAT(s.message(), ::testing::HasSubstr(c.message));
      if (in_unit) {
        ASSERT_TRUE(db->Commit().ok());
      }
      ASSERT_TRUE(db->Close().ok());
    }
    EXPECT_TRUE(FileBytes(copy.path()) == before) << "the file changed";
    EXPECT_FALSE(std::filesystem::exists(copy.path().string() + "-wal"));
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, DamagedWriteTest, ::testing::ValuesIn(kDamage),
                         [](const auto& info) { return std::string(info.param.name); });

// A calendar cut short by a page (an inline global map, and one whose map
// starts at page 1024): readers read what is there, a writer refuses it at
// open, before it could append a page that the maps still point at.
TEST(CutShortTest, IsReadButNotWritten) {
  for (const char* name : {"tessdata-2009.mdb", "tessdata-large.mdb"}) {
    SCOPED_TRACE(name);
    SharedFileCopy copy("fixtures", name);
    std::filesystem::resize_file(copy.path(), std::filesystem::file_size(copy.path()) - 4096);
    const std::string before = FileBytes(copy.path());
    auto reader = Database::Open(copy.path().string());
    ASSERT_TRUE(reader.ok()) << reader.status().ToString();
    EXPECT_TRUE((*reader)->GetTable("Dates").ok());
    reader->reset();
    OpenOptions writing;
    writing.read_only = false;
    auto writer = Database::Open(copy.path().string(), writing);
    ASSERT_FALSE(writer.ok());
    EXPECT_EQ(writer.status().code(), StatusCode::kCorruption);
    EXPECT_THAT(writer.status().message(), ::testing::HasSubstr("it was cut short"));
    EXPECT_TRUE(FileBytes(copy.path()) == before);
  }
}

}  // namespace
}  // namespace jet
