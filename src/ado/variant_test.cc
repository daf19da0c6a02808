// Field values as the calendar code converts them: joined to the empty text,
// strictly to text, and to a 32-bit integer, with the runtime's numbers for
// each failure.
#include "ado/variant.h"

#include <cmath>
#include <functional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "errors/runtime_error.h"

namespace ado {
namespace {

// OLE dates: day 40179 is 1 January 2010.
constexpr double kNewYear2010 = 40179;

TEST(VariantTest, JoinedTextMatchesTheRuntimeText) {
  const std::pair<Variant, const char*> cases[] = {
      {Variant::Null(), ""},
      {Variant::Integer(-12), "-12"},
      {Variant::Double(0.5), "0.5"},
      {Variant::Double(12.0), "12"},
      {Variant::Double(1234567.25), "1234567.25"},
      {Variant::Double(0.1 + 0.2), "0.3"},  // 15 significant digits
      {Variant::Double(-0.0), "0"},
      {Variant::Double(1e15), "1E+15"},
      {Variant::Text("Brunch in the hall"), "Brunch in the hall"},
      {Variant::Date(kNewYear2010 + 5), "1/6/2010"},
      {Variant::Date(0), "12:00:00 AM"},
      {Variant::Date((23 * 60 + 59) / 1440.0), "11:59:00 PM"},
      {Variant::Date(kNewYear2010 + 10 / 24.0), "1/1/2010 10:00:00 AM"},
      {Variant::Date(kNewYear2010 + 0.4999999 / 86400), "1/1/2010"},
      {Variant::Date(36526 + 59), "2/29/2000"},
      {Variant::Date(-1.25), "12/29/1899 6:00:00 AM"},
      {Variant::Date(-2.99999999), "12/29/1899"},
      {Variant::Date(-0.99999999), "12/31/1899"},
      {Variant::Date(40179.99999999), "1/2/2010"},
      {Variant::Boolean(true), "True"},
      {Variant::Boolean(false), "False"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(value.JoinedText(), text) << text;
}

// The runtime error number a conversion raises; 0 when it gives a value.
int32_t NumberOf(const std::function<void()>& conversion) {
  try {
    conversion();
  } catch (const errors::RuntimeError& e) {
    return e.number();
  }
  return 0;
}

TEST(VariantTest, ToInt32RoundsHalfToEvenAndRaisesAtTheLimits) {
  const std::pair<Variant, int32_t> values[] = {
      {Variant::Integer(2147483647), 2147483647},
      {Variant::Integer(-2147483647 - 1), -2147483647 - 1},
      {Variant::Double(2.5), 2},
      {Variant::Double(3.5), 4},
      {Variant::Double(-2.5), -2},
      {Variant::Text(" 12 "), 12},
      {Variant::Boolean(true), -1},
      {Variant::Date(kNewYear2010 + 0.75), 40180},
  };
  for (const auto& [value, expected] : values) EXPECT_EQ(value.ToInt32(), expected) << expected;
  const std::pair<Variant, int32_t> failures[] = {
      {Variant::Integer(2147483648LL), 6}, {Variant::Integer(-2147483649LL), 6},
      {Variant::Double(2147483647.6), 6},  {Variant::Double(std::nan("")), 6},
      {Variant::Text("3000000000"), 6},    {Variant::Null(), 94},
      {Variant::Text("twelve"), 13},       {Variant::Text(""), 13},
  };
  for (const auto& [value, number] : failures) {
    EXPECT_EQ(NumberOf([&] { (void)value.ToInt32(); }), number) << value.JoinedText();
  }
}

TEST(VariantTest, StrictTextRefusesNull) {
  EXPECT_EQ(NumberOf([] { (void)Variant::Null().StrictText(); }), 94);
  EXPECT_EQ(Variant::Boolean(true).StrictText(), "True");
  EXPECT_EQ(Variant::Boolean(false).StrictText(), "False");
  EXPECT_EQ(Variant::Integer(12).StrictText(), "12");
}

TEST(VariantTest, StoredKindsBecomeTheProgramsValues) {
  jet::Decimal decimal;
  decimal.scale = 2;
  decimal.magnitude = {0, 0, 0, 1234};
  decimal.negative = true;
  const std::array<uint8_t, 16> guid = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                        0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  struct {
    jet::Value value;
    Variant expected;
  } cases[] = {
      {jet::Value::Null(), Variant::Null()},
      {jet::Value::Boolean(true), Variant::Boolean(true)},
      {jet::Value::Integer(jet::Value::Kind::kByte, 200), Variant::Integer(200)},
      {jet::Value::Integer(jet::Value::Kind::kLong, -5), Variant::Integer(-5)},
      {jet::Value::Integer(jet::Value::Kind::kCurrency, 125000), Variant::Double(12.5)},
      {jet::Value::Real(jet::Value::Kind::kSingle, 0.1f), Variant::Double(0.1)},
      {jet::Value::Real(jet::Value::Kind::kDateTime, kNewYear2010), Variant::Date(kNewYear2010)},
      {jet::Value::Bytes(jet::Value::Kind::kText, "Üben"), Variant::Text("Üben")},
      {jet::Value::Guid(guid), Variant::Text("{00112233-4455-6677-8899-AABBCCDDEEFF}")},
      {jet::Value::Dec(decimal), Variant::Double(-12.34)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Variant::FromJet(c.value), c.expected) << c.expected.JoinedText();
  }
}

}  // namespace
}  // namespace ado
