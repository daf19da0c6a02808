// Memo / OLE values: inline, one LVAL row, chains, and damaged chains.
#include "jet/rows/long_value.h"

#include <gtest/gtest.h>

#include "jet/testing/test_pages.h"

namespace jet {
namespace {

using testing::DataPage;
using testing::TestRow;
using testing::U32;

constexpr uint32_t kLval = 0xFFFFFFFF;

std::string Header(uint32_t word, uint32_t pointer) { return U32(word) + U32(pointer) + U32(0); }

class LongValueTest : public ::testing::Test {
 protected:
  // Pages 0..2 blank, then `pages` from page 3 on.
  void SetPages(const std::vector<std::string>& pages) {
    std::vector<std::string> all(3, std::string(4096, '\0'));
    all.insert(all.end(), pages.begin(), pages.end());
    file_ = std::make_unique<PageFile>(testing::Image(all));
    ASSERT_TRUE(file_->SetPageSize(4096).ok());
  }
  Status Read(const std::string& field, std::string* out) {
    return ReadLongValue(*file_, kJet4Format, reinterpret_cast<const uint8_t*>(field.data()),
                         static_cast<uint32_t>(field.size()), max_length_, out);
  }
  std::unique_ptr<PageFile> file_;
  uint64_t max_length_ = UINT64_MAX;
};

TEST_F(LongValueTest, ReadsEachKind) {
  SetPages({DataPage(kJet4Format, kLval,
                     {{"single row data"},
                      {U32(3 << 8 | 3) + "first-"},
                      {U32(0) + "third"},
                      {U32(3 << 8 | 2) + "second-"}})});
  std::string out;
  ASSERT_TRUE(Read(Header(0x80000000u | 5, 0) + "hello", &out).ok());
  EXPECT_EQ(out, "hello");

  out.clear();
  ASSERT_TRUE(Read(Header(0x40000000u | 6, 3 << 8 | 0), &out).ok());
  EXPECT_EQ(out, "single");

  out.clear();
  ASSERT_TRUE(Read(Header(18, 3 << 8 | 1), &out).ok());
  EXPECT_EQ(out, "first-second-third");

  out.clear();
  ASSERT_TRUE(Read(Header(0x80000000u, 0), &out).ok());
  EXPECT_EQ(out, "");
}

TEST_F(LongValueTest, OnePieceValuesAreFoundWhereTheyLie) {
  SetPages({DataPage(kJet4Format, kLval,
                     {{"single row data"}, {U32(3 << 8 | 2) + "first-"}, {U32(0) + "last"}})});
  const struct {
    std::string field;
    const char* bytes;  // nullptr: a chain, left to ReadLongValue
  } cases[] = {
      {Header(0x80000000u | 5, 0) + "hello", "hello"},
      {Header(0x40000000u | 6, 3 << 8 | 0), "single"},
      {Header(0x40000000u, 3 << 8 | 0), ""},
      {Header(0, 3 << 8 | 1), ""},
      {Header(10, 3 << 8 | 1), nullptr},
  };
  for (const auto& c : cases) {
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(
        FindLongValueBytes(*file_, kJet4Format, reinterpret_cast<const uint8_t*>(c.field.data()),
                           static_cast<uint32_t>(c.field.size()), max_length_, &bytes, &length)
            .ok());
    if (c.bytes == nullptr) {
      EXPECT_EQ(bytes, nullptr);
      continue;
    }
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), length), c.bytes);
  }
}

TEST_F(LongValueTest, OnlySoundInlineValuesAreTakenInline) {
  const struct {
    std::string field;
    uint64_t max_length;
    const char* bytes;  // nullptr: not taken inline
  } cases[] = {
      {Header(0x80000000u | 5, 0) + "hello", 100, "hello"},
      {Header(0x80000000u, 0), 100, ""},
      {Header(0x80000000u | 5, 0) + "hello", 4, nullptr},    // longer than allowed
      {Header(0x80000000u | 6, 0) + "hello", 100, nullptr},  // overruns the field
      {Header(0x40000000u | 5, 3 << 8), 100, nullptr},       // in an LVAL row
      {Header(5, 3 << 8), 100, nullptr},                     // a chain
      {std::string("\x05\x00\x00\x80", 4), 100, nullptr},    // no whole header
  };
  for (const auto& c : cases) {
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    const bool inline_value =
        FindInlineLongValue(reinterpret_cast<const uint8_t*>(c.field.data()),
                            static_cast<uint32_t>(c.field.size()), c.max_length, &bytes, &length);
    ASSERT_EQ(inline_value, c.bytes != nullptr) << c.field.size();
    if (inline_value) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), length), c.bytes);
    }
  }
}

struct DamagedCase {
  const char* name;
  std::string field;
  const char* message_part;
};

class DamagedLongValueTest : public LongValueTest,
                             public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedLongValueTest, IsCorruption) {
  SetPages({DataPage(kJet4Format, kLval,
                     {{U32(3 << 8 | 1) + "loop-a"}, {U32(3 << 8 | 0) + "loop-b"}, {"xy"}}),
            std::string(4096, '\0')});
  std::string out;
  Status s = Read(GetParam().field, &out);
  ASSERT_EQ(s.code(), StatusCode::kCorruption) << s.ToString();
  EXPECT_NE(s.message().find(GetParam().message_part), std::string::npos) << s.ToString();
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedLongValueTest,
    ::testing::Values(
        DamagedCase{"short_header", "abc", "shorter than its 12-byte header"},
        DamagedCase{"inline_overrun", Header(0x80000000u | 50, 0) + "abc", "overruns"},
        DamagedCase{"huge_length", Header(0x3FFFFFFFu, 3 << 8 | 0), "exceeds the file size"},
        DamagedCase{"single_too_long", Header(0x40000000u | 100, 3 << 8 | 2), "only 2 bytes"},
        DamagedCase{"page_past_end", Header(0x40000000u | 1, 90 << 8 | 0), "page 90"},
        DamagedCase{"not_a_data_page", Header(0x40000000u | 1, 4 << 8 | 0), "not a data page"},
        DamagedCase{"missing_slot", Header(0x40000000u | 1, 3 << 8 | 9), "does not exist"},
        DamagedCase{"chain_cycle", Header(16000, 3 << 8 | 0), "loops"},
        DamagedCase{"chain_ends_early", Header(10, 3 << 8 | 2), "shorter than its next pointer"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LongValueTest, LengthOverTheCallersBudgetIsCorruption) {
  SetPages({DataPage(kJet4Format, kLval, {{"0123456789"}})});
  max_length_ = 9;
  std::string out;
  Status s = Read(Header(0x40000000u | 10, 3 << 8 | 0), &out);
  EXPECT_EQ(s.code(), StatusCode::kCorruption);
  max_length_ = 10;
  EXPECT_TRUE(Read(Header(0x40000000u | 10, 3 << 8 | 0), &out).ok());
}

TEST_F(LongValueTest, ChainEndingBeforeTheLengthIsCorruption) {
  SetPages({DataPage(kJet4Format, kLval, {{U32(0) + "only"}})});
  std::string out;
  Status s = Read(Header(10, 3 << 8 | 0), &out);
  EXPECT_EQ(s.code(), StatusCode::kCorruption);
  EXPECT_NE(s.message().find("ends after 4 of 10 bytes"), std::string::npos) << s.ToString();
}

}  // namespace
}  // namespace jet
