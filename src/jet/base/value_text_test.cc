// Values as messages show them, in a list and as a sentence's subject.
#include "jet/base/value_text.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

using Kind = Value::Kind;

TEST(ValueTextTest, EachKindInAListAndAsASubject) {
  const std::array<uint8_t, 16> guid = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                        0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  const struct {
    Value value;
    const char* listed;
    const char* described;
  } cases[] = {
      {Value::Null(), "Null", "null"},
      {Value::Boolean(true), "True", "the Boolean True"},
      {Value::Integer(Kind::kLong, -5), "-5", "-5"},
      {Value::Integer(Kind::kCurrency, 125000), "12.5000", "the currency amount 12.5"},
      {Value::Real(Kind::kDouble, 0.5), "0.5", "0.5"},
      {Value::Real(Kind::kDateTime, 39814.5), "2009-01-01 12:00:00", "the date/time 39814.5"},
      {Value::Bytes(Kind::kText, "Advent"), "\"Advent\"", "the text \"Advent\""},
      {Value::Bytes(Kind::kBinary, "abc"), "3 bytes", "binary data of 3 bytes"},
      {Value::Guid(guid), "a GUID", "the GUID {00112233-4455-6677-8899-AABBCCDDEEFF}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ValueText(c.value), c.listed);
    EXPECT_EQ(DescribedValue(c.value), c.described);
  }
}

TEST(ValueTextTest, LongTextIsCutBetweenCharacters) {
  // 59 bytes, then é across bytes 60 and 61: the cut falls before it.
  const std::string text = std::string(59, 'a') + "\xC3\xA9 and more";
  EXPECT_EQ(ValueText(Value::Bytes(Kind::kText, text)), "\"" + std::string(59, 'a') + "...\"");
  const std::string subject = DescribedValue(Value::Bytes(Kind::kText, text));
  EXPECT_EQ(subject, "the text \"" + std::string(40, 'a') + "...\"");
}

}  // namespace
}  // namespace jet
