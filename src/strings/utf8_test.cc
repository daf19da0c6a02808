// UTF-8 read strictly and leniently, written, counted and cut short.
#include "strings/utf8.h"

#include <vector>

#include <gtest/gtest.h>

namespace strings {
namespace {

TEST(Utf8Test, DecodesExactlyTheWellFormedSequences) {
  // One sequence at the start of each text: its code point, or the byte
  // DecodeUtf8 names when it is malformed.
  const struct {
    std::string_view text;
    bool ok;
    uint32_t cp;
    size_t end_or_fault;
  } cases[] = {
      {"A", true, 'A', 1},
      {"\xC2\x80", true, 0x80, 2},
      {"\xDF\xBF", true, 0x7FF, 2},
      {"\xE0\xA0\x80", true, 0x800, 3},
      {"\xED\x9F\xBF", true, 0xD7FF, 3},
      {"\xEF\xBF\xBF", true, 0xFFFF, 3},
      {"\xF0\x90\x80\x80", true, 0x10000, 4},
      {"\xF4\x8F\xBF\xBF", true, 0x10FFFF, 4},
      {"\x80", false, 0, 0},              // a continuation byte leads nothing
      {"\xC0\xAF", false, 0, 0},          // overlong '/'
      {"\xC3\x28", false, 0, 1},          // the second byte does not continue
      {"\xE0\x80\x80", false, 0, 0},      // overlong
      {"\xED\xA0\x80", false, 0, 0},      // a surrogate
      {"\xF4\x90\x80\x80", false, 0, 0},  // past U+10FFFF
      {"\xE2\x82", false, 0, 0},          // cut short
      {"\xF0\x9F\x95", false, 0, 0},      // cut short
      {"\xF0\x9F\x41\x8A", false, 0, 2},  // the third byte does not continue
      {"\xF8\x88\x80\x80\x80", false, 0, 0},
  };
  for (const auto& c : cases) {
    size_t i = 0;
    uint32_t cp = 0;
    EXPECT_EQ(DecodeUtf8(c.text, &i, &cp), c.ok) << testing::PrintToString(c.text);
    EXPECT_EQ(i, c.end_or_fault) << testing::PrintToString(c.text);
    EXPECT_EQ(Utf8SequenceLength(c.text, 0), c.ok ? c.end_or_fault : 0);
    if (c.ok) {
      EXPECT_EQ(cp, c.cp);
    }
  }
  EXPECT_TRUE(IsUtf8("gr\xC3\xBCn \xF0\x9F\x95\x8A"));
  EXPECT_FALSE(IsUtf8("gr\xC3\xBC\xC3"));
}

TEST(Utf8Test, LenientReadingTakesAStrayByteAsItself) {
  const std::string_view text = "a\xC3\xA4\xC3(\xE2\x82\xAC\x80";
  std::vector<uint32_t> read;
  for (size_t i = 0; i < text.size();) read.push_back(NextCodePoint(text, &i));
  EXPECT_EQ(read, (std::vector<uint32_t>{'a', 0xE4, 0xC3, '(', 0x20AC, 0x80}));
  EXPECT_EQ(CharacterCount(text), 6u);
  EXPECT_EQ(ByteOffsetOfCharacter(text, 2), 3u);
  EXPECT_EQ(ByteOffsetOfCharacter(text, 99), text.size());
}

TEST(Utf8Test, WritesWhatItReadsBack) {
  for (const uint32_t cp :
       {0x0u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xFFFDu, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    std::string text;
    AppendUtf8(cp, &text);
    size_t i = 0;
    uint32_t back = 0;
    ASSERT_TRUE(DecodeUtf8(text, &i, &back)) << cp;
    EXPECT_EQ(back, cp);
    EXPECT_EQ(i, text.size());
    if (cp >= 0x10000) {
      EXPECT_TRUE(IsHighSurrogate(HighSurrogateOf(cp)));
      EXPECT_TRUE(IsLowSurrogate(LowSurrogateOf(cp)));
      EXPECT_EQ(CodePointOfSurrogates(HighSurrogateOf(cp), LowSurrogateOf(cp)), cp);
    }
  }
}

TEST(ShortenedTextTest, CutsOnlyAtCharacterBoundaries) {
  const struct {
    const char* text;
    size_t max;
    const char* shown;
  } cases[] = {
      {"Green", 5, "Green"},
      {"Greens", 5, "Green..."},
      {"abc\xC3\xA9", 4, "abc..."},     // é would be cut in two
      {"ab\xE2\x80\x99s", 4, "ab..."},  // so would ’
      {"ab\xE2\x80\x99s", 5, "ab\xE2\x80\x99..."},
      {"\xF0\x9F\x95\x8A!", 3, "..."},  // a 4-byte character first
  };
  for (const auto& c : cases) EXPECT_EQ(ShortenedText(c.text, c.max), c.shown) << c.text;
}

}  // namespace
}  // namespace strings
