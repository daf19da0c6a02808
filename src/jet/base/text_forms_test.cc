// Hex and shortened texts as the engine's messages write them.
#include "jet/base/text_forms.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

TEST(HexTextTest, UpperCasePairsWithAnySeparator) {
  const std::string_view bytes("\x00\x7F\x80\xFF", 4);
  EXPECT_EQ(HexText(bytes), "007F80FF");
  EXPECT_EQ(HexText(bytes, " "), "00 7F 80 FF");
  EXPECT_EQ(HexText("", " "), "");
}

TEST(HexTextTest, DigitValuesOfEitherCase) {
  const struct { char c; int value; } cases[] = {
      {'0', 0}, {'9', 9}, {'a', 10}, {'F', 15}, {'f', 15}, {'G', -1}, {' ', -1}, {'/', -1}};
  for (const auto& c : cases) EXPECT_EQ(HexDigitValue(c.c), c.value) << c.c;
}

TEST(ShortenedTextTest, CutsOnlyAtCharacterBoundaries) {
  const struct { const char* text; size_t max; const char* shown; } cases[] = {
      {"Green", 5, "Green"},
      {"Greens", 5, "Green..."},
      {"abc\xC3\xA9", 4, "abc..."},                   // é would be cut in two
      {"ab\xE2\x80\x99s", 4, "ab..."},                // so would ’
      {"ab\xE2\x80\x99s", 5, "ab\xE2\x80\x99..."},
      {"\xF0\x9F\x95\x8A!", 3, "..."},                // a 4-byte character first
  };
  for (const auto& c : cases) EXPECT_EQ(ShortenedText(c.text, c.max), c.shown) << c.text;
}

}  // namespace
}  // namespace jet
