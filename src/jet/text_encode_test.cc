// Text encoding: round trips through the Jet 4 text reader, the choice of
// the compressed form, and malformed UTF-8.
#include "jet/text_encode.h"

#include <gtest/gtest.h>

#include "jet/text.h"

namespace jet {
namespace {

struct EncodeCase {
  const char* name;
  std::string utf8;
  bool compressible;
  bool expect_compressed;
};

class EncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, ReadsBackAndPicksTheForm) {
  const EncodeCase& c = GetParam();
  std::string stored;
  ASSERT_TRUE(EncodeJet4Text(c.utf8, c.compressible, &stored).ok());
  std::string back;
  AppendJet4Text(reinterpret_cast<const uint8_t*>(stored.data()), stored.size(), &back);
  EXPECT_EQ(back, c.utf8);
  const bool compressed = stored.size() >= 2 && stored.compare(0, 2, "\xFF\xFE") == 0;
  EXPECT_EQ(compressed, c.expect_compressed);
  Result<size_t> chars = Jet4TextLength(c.utf8);
  ASSERT_TRUE(chars.ok());
  EXPECT_EQ(stored.size(), compressed ? 2 + *chars : 2 * *chars);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EncodeTest,
    ::testing::Values(
        EncodeCase{"empty", "", true, false},
        EncodeCase{"two_chars_stay_plain", "ab", true, false},
        EncodeCase{"ascii", "Choir Practice", true, true},
        EncodeCase{"column_without_compression", "Choir Practice", false, false},
        EncodeCase{"latin1", "caf\xC3\xA9 \xC3\xBC \xC3\x9F", true, true},
        EncodeCase{"quotes", "\xE2\x80\x9Cquoted\xE2\x80\x9D", true, false},
        EncodeCase{"en_dash", "9 \xE2\x80\x93 5", true, false},
        EncodeCase{"cjk", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", true, false},
        EncodeCase{"emoji", "a\xF0\x9F\x98\x80z", true, false},
        EncodeCase{"nul_char", std::string("ab\0cd", 5), true, false},
        EncodeCase{"longest_compressed", std::string(1024, 'x'), true, true},
        EncodeCase{"too_long_to_compress", std::string(1025, 'x'), true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EncodeTest, EmojiIsASurrogatePairAndCountsTwice) {
  std::string stored;
  ASSERT_TRUE(EncodeJet4Text("\xF0\x9F\x98\x80", true, &stored).ok());
  EXPECT_EQ(stored, std::string("\x3D\xD8\x00\xDE", 4));
  EXPECT_EQ(*Jet4TextLength("\xF0\x9F\x98\x80"), 2u);
}

TEST(EncodeTest, MalformedUtf8IsRefusedWithItsOffset) {
  for (const std::string& bad : {std::string("ab\xC3"), std::string("\xC3\x28"),
                                 std::string("\xE0\x80\x80"), std::string("\xED\xA0\x80"),
                                 std::string("\xF4\x90\x80\x80"), std::string("\xFF"),
                                 std::string("\x80")}) {
    std::string stored;
    Status s = EncodeJet4Text(bad, true, &stored);
    EXPECT_EQ(s.code(), StatusCode::kInvalidArgument) << bad;
    EXPECT_NE(s.message().find("not valid UTF-8"), std::string::npos) << s.message();
    EXPECT_FALSE(Jet4TextLength(bad).ok());
  }
}

}  // namespace
}  // namespace jet
