// The two case-blind rules: ASCII letters only, and ASCII and Latin-1
// letters of UTF-8 text.
#include "strings/ascii.h"

#include <gtest/gtest.h>

namespace strings {
namespace {

TEST(AsciiNoCaseTest, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(
      AsciiEqualsNoCase("Microsoft Access Driver (*.mdb)", "MICROSOFT access DRIVER (*.MDB)"));
  EXPECT_FALSE(AsciiEqualsNoCase("\xC3\x84pfel", "\xC3\xA4pfel"));  // Ä and ä stay apart
  EXPECT_FALSE(AsciiEqualsNoCase("Ê", "Ú"));  // bytes of one character never fold
  EXPECT_FALSE(AsciiEqualsNoCase("admin", "admin "));
  EXPECT_FALSE(AsciiEqualsNoCase("[", "{"));  // 0x5B and 0x7B are no letters
}

TEST(AsciiNoCaseTest, OrdersByFoldedBytesThenLength) {
  EXPECT_EQ(AsciiCompareNoCase("Green", "gREEN"), 0);
  EXPECT_LT(AsciiCompareNoCase("abc", "ABD"), 0);
  EXPECT_GT(AsciiCompareNoCase("b", "A"), 0);
  EXPECT_LT(AsciiCompareNoCase("Red", "redder"), 0);
  EXPECT_LT(AsciiCompareNoCase("z", "\xC3\xA9"), 0);  // bytes past ASCII after every letter
  EXPECT_LT(AsciiCompareNoCase("_", "a"), 0);         // '_' (0x5F) before the folded 'a' (0x61)
}

TEST(Latin1NoCaseTest, OrdersByFoldedCodePointsThenLength) {
  const struct {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"\xC3\x84pfel", "\xC3\xA4PFEL", 0},  // Äpfel, äPFEL
      {"\xC3\x97", "\xC3\xB7", -1},         // × (U+00D7) is no letter: below ÷ (U+00F7)
      {"\xC3\x9E", "\xC3\xBE", 0},          // Þ, þ
      {"z", "\xC3\xA9", -1},                // by code point, not by bytes of the locale
      {"Red", "redder", -1},
      {"a\xC3", "A\xC3", 0},  // a cut character counts as its byte
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Latin1CompareNoCase(c.a, c.b), c.order) << c.a << " " << c.b;
    EXPECT_EQ(Latin1CompareNoCase(c.b, c.a), -c.order) << c.b << " " << c.a;
  }
  EXPECT_EQ(Latin1Upper(0xFF), 0xFFu);  // ÿ has no upper case in Latin-1
  EXPECT_EQ(Latin1Upper(0xE4), 0xC4u);
}

}  // namespace
}  // namespace strings
