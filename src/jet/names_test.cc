// The two case-blind rules: names fold ASCII and Latin-1 letters, words and
// text values ASCII letters only.
#include "jet/names.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

struct NamesCase {
  const char* a;
  const char* b;
  bool equal;
};

class NamesEqualTest : public ::testing::TestWithParam<NamesCase> {};

TEST_P(NamesEqualTest, FoldsAsciiAndLatin1Letters) {
  EXPECT_EQ(NamesEqual(GetParam().a, GetParam().b), GetParam().equal);
  EXPECT_EQ(NamesEqual(GetParam().b, GetParam().a), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NamesEqualTest,
    ::testing::Values(NamesCase{"Events", "EVENTS", true}, NamesCase{"Events", "Event", false},
                      NamesCase{"", "", true}, NamesCase{"\xC3\x84pfel", "\xC3\xA4PFEL", true},
                      NamesCase{"\xC3\x97", "\xC3\xB7", false},  // multiply vs divide sign
                      NamesCase{"a\xC3", "a\xC3", true},         // cut UTF-8 stays comparable
                      NamesCase{"a_b", "a-b", false}));

TEST(AsciiNoCaseTest, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(AsciiEqualsNoCase("Microsoft Access Driver (*.mdb)", "MICROSOFT access DRIVER (*.MDB)"));
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

}  // namespace
}  // namespace jet
