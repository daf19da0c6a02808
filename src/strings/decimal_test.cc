// Decimal text scaled to whole numbers, rounded half to even.
#include "strings/decimal.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace strings {
namespace {

TEST(DecimalTest, ScalesAndRoundsHalfToEven) {
  const struct {
    const char* text;
    int scale;
    Scaled result;
    int64_t value;
  } cases[] = {
      {"12.345", 2, Scaled::kOk, 1234},  // exactly half: to the even digit
      {"12.335", 2, Scaled::kOk, 1234},
      {"12.3451", 2, Scaled::kOk, 1235},  // past half: up
      {"-0.5", 0, Scaled::kOk, 0},
      {"+.25", 1, Scaled::kOk, 2},
      {"1.5E3", 4, Scaled::kOk, 15000000},
      {"922337203685477.5807", 4, Scaled::kOk, INT64_MAX},
      {"-922337203685477.5808", 4, Scaled::kOk, INT64_MIN},
      {"922337203685477.5808", 4, Scaled::kOverflow, 0},
      {"1E19", 0, Scaled::kOverflow, 0},
      {"1.", 0, Scaled::kOk, 1},
      {".", 0, Scaled::kNotANumber, 0},
      {"1E", 0, Scaled::kNotANumber, 0},
      {" 1", 0, Scaled::kNotANumber, 0},  // blanks are the caller's to trim
  };
  for (const auto& c : cases) {
    int64_t value = 0;
    EXPECT_EQ(ParseScaled(c.text, c.scale, &value), c.result) << c.text;
    if (c.result == Scaled::kOk) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace strings
