// Table definitions: continuation chains, loops and truncated definitions.
#include "jet/format/table_def.h"

#include <gtest/gtest.h>

#include "jet/testing/test_pages.h"

namespace jet {
namespace {

using testing::PutU16;
using testing::PutU32;

std::string TdefPage(uint32_t next) {
  std::string page(4096, '\0');
  page[0] = kPageTableDef;
  page[1] = 1;
  PutU32(&page, 4, next);
  return page;
}

class TableDefTest : public ::testing::Test {
 protected:
  void SetPages(std::vector<std::string> pages) {
    pages.insert(pages.begin(), 3, std::string(4096, '\0'));
    file_ = std::make_unique<PageFile>(testing::Image(pages));
    ASSERT_TRUE(file_->SetPageSize(4096).ok());
  }
  Status Read(uint32_t page) {
    return ReadTableDef(*file_, kJet4Format, text_, page, &def_, &extras_);
  }

  std::unique_ptr<PageFile> file_;
  TextDecoder text_{1252};
  TableDef def_;
  TableDefExtras extras_;
};

TEST_F(TableDefTest, ReadsAColumnSpreadOverAContinuationPage) {
  // One Text column whose name lies on the continuation page.
  std::string first = TdefPage(4);
  PutU32(&first, kJet4Format.tdef_row_count_offset, 7);
  PutU16(&first, kJet4Format.tdef_max_cols_offset, 1);
  PutU16(&first, kJet4Format.tdef_num_var_cols_offset, 1);
  PutU16(&first, kJet4Format.tdef_num_cols_offset, 1);
  size_t column_at = kJet4Format.tdef_header_size;
  first[column_at] = static_cast<char>(ColumnType::kText);
  PutU16(&first, column_at + kJet4Format.column_length_offset, 100);
  first[column_at + kJet4Format.column_flags_offset] = 0x02;
  // Pad the rest of the first page so that the name starts on the next one:
  // claim a column name length that spans the page boundary.
  size_t name_at = column_at + kJet4Format.column_size;
  uint16_t name_len = static_cast<uint16_t>(4096 - name_at - 2 + 4);
  PutU16(&first, name_at, name_len);
  std::string second = TdefPage(0);
  std::string tail = testing::Ucs2("AB");  // the last 4 bytes of the name
  second.replace(8, 4, tail);
  PutU16(&second, 12, 0xFFFF);  // terminator
  SetPages({first, second});
  ASSERT_TRUE(Read(3).ok());
  EXPECT_EQ(def_.row_count, 7u);
  ASSERT_EQ(def_.columns.size(), 1u);
  EXPECT_EQ(def_.columns[0].type, ColumnType::kText);
  EXPECT_EQ(def_.columns[0].name.substr(def_.columns[0].name.size() - 2), "AB");
  EXPECT_EQ(extras_.pages, (std::vector<uint32_t>{3, 4}));
}

TEST_F(TableDefTest, ContinuationLoopIsCorruption) {
  SetPages({TdefPage(4), TdefPage(3)});
  Status s = Read(3);
  ASSERT_EQ(s.code(), StatusCode::kCorruption);
  EXPECT_NE(s.message().find("loops back to page 3"), std::string::npos) << s.ToString();
}

TEST_F(TableDefTest, ContinuationOntoAnotherPageTypeIsCorruption) {
  std::string data(4096, '\0');
  data[0] = kPageData;
  SetPages({TdefPage(4), data});
  Status s = Read(3);
  ASSERT_EQ(s.code(), StatusCode::kCorruption);
  EXPECT_NE(s.message().find("page 4 is not a table definition page"), std::string::npos)
      << s.ToString();
}

TEST_F(TableDefTest, ContinuationPastTheFileIsCorruption) {
  SetPages({TdefPage(1234)});
  Status s = Read(3);
  ASSERT_EQ(s.code(), StatusCode::kCorruption);
  EXPECT_NE(s.message().find("page 1234"), std::string::npos) << s.ToString();
}

struct TruncatedCase {
  const char* name;
  uint32_t field_offset;
  uint32_t value;
  const char* message_part;
};

class TruncatedTableDefTest : public TableDefTest,
                              public ::testing::WithParamInterface<TruncatedCase> {};

TEST_P(TruncatedTableDefTest, CountsLargerThanTheDefinitionAreCorruption) {
  std::string page = TdefPage(0);
  PutU16(&page, kJet4Format.tdef_max_cols_offset, 0xFFFF);
  if (GetParam().field_offset == kJet4Format.tdef_num_cols_offset) {
    PutU16(&page, GetParam().field_offset, static_cast<uint16_t>(GetParam().value));
  } else {
    PutU32(&page, GetParam().field_offset, GetParam().value);
  }
  SetPages({page});
  Status s = Read(3);
  ASSERT_EQ(s.code(), StatusCode::kCorruption) << s.ToString();
  EXPECT_NE(s.message().find(GetParam().message_part), std::string::npos) << s.ToString();
}

INSTANTIATE_TEST_SUITE_P(
    Damage, TruncatedTableDefTest,
    ::testing::Values(TruncatedCase{"columns", kJet4Format.tdef_num_cols_offset, 1000,
                                    "the column list"},
                      TruncatedCase{"indexes", kJet4Format.tdef_num_real_idx_offset, 0x7FFFFFFF,
                                    "the index count block"},
                      TruncatedCase{"logical_indexes", kJet4Format.tdef_num_idx_offset, 0x10000000,
                                    "the logical index list"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TableDefTest, LogicalIndexNamingAMissingPhysicalIndexIsCorruption) {
  std::string page = TdefPage(0);
  PutU32(&page, kJet4Format.tdef_num_idx_offset, 1);
  PutU32(&page, kJet4Format.tdef_num_real_idx_offset, 0);
  size_t logical_at = kJet4Format.tdef_header_size;
  PutU32(&page, logical_at + kJet4Format.logical_index_physical_offset, 5);
  SetPages({page});
  Status s = Read(3);
  ASSERT_EQ(s.code(), StatusCode::kCorruption);
  EXPECT_NE(s.message().find("physical index 5"), std::string::npos) << s.ToString();
}

}  // namespace
}  // namespace jet
