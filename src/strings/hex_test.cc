// Hex digits as messages and exports write them and imports read them.
#include "strings/hex.h"

#include <gtest/gtest.h>

namespace strings {
namespace {

TEST(HexTextTest, UpperCasePairsWithAnySeparator) {
  const std::string_view bytes("\x00\x7F\x80\xFF", 4);
  EXPECT_EQ(HexText(bytes), "007F80FF");
  EXPECT_EQ(HexText(bytes, " "), "00 7F 80 FF");
  EXPECT_EQ(HexText("", " "), "");
  char lower[8];
  EXPECT_EQ(std::string_view(lower, PutHex(lower, bytes, kLowerHexDigits) - lower), "007f80ff");
}

TEST(HexTextTest, DigitValuesOfEitherCase) {
  const struct {
    char c;
    int value;
  } cases[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'F', 15},
               {'f', 15}, {'G', -1}, {' ', -1}, {'/', -1}};
  for (const auto& c : cases) EXPECT_EQ(HexDigitValue(c.c), c.value) << c.c;
}

}  // namespace
}  // namespace strings
