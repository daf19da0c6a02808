// Names fold ASCII and Latin-1 letters.
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

}  // namespace
}  // namespace jet
