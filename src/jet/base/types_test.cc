// GUID texts: the byte order of a stored GUID against its text.
#include "jet/types.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

const std::array<uint8_t, 16> kStored = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                         0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

TEST(GuidTextTest, FieldsBigEndianInTextAndKeyOrder) {
  EXPECT_EQ(GuidText(kStored), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
  const std::array<uint8_t, 16> ordered = GuidBytesInTextOrder(kStored);
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(ordered[i], 0x11 * i) << i;
}

TEST(GuidTextTest, ReadsBackWithOrWithoutBracesInEitherCase) {
  for (const char* text :
       {"{00112233-4455-6677-8899-AABBCCDDEEFF}", "00112233-4455-6677-8899-aabbccddeeff"}) {
    std::array<uint8_t, 16> stored{};
    ASSERT_TRUE(ParseGuidText(text, &stored)) << text;
    EXPECT_EQ(stored, kStored) << text;
  }
  std::array<uint8_t, 16> stored{};
  for (const char* bad :
       {"{00112233-4455-6677-8899-AABBCCDDEEF}", "00112233-4455-6677-8899+AABBCCDDEEFF",
        "{00112233-4455-6677-8899-AABBCCDDEEFG}", "[00112233-4455-6677-8899-AABBCCDDEEFF]",
        "{00112233-4455-6677-8899-AABBCCDDEEFF", ""}) {
    EXPECT_FALSE(ParseGuidText(bad, &stored)) << bad;
  }
}

}  // namespace
}  // namespace jet
