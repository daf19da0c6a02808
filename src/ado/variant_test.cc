// Field values as the calendar code converts them: joined to the empty text,
// strictly to text, and to a 32-bit integer, with the runtime's numbers for
// each failure.
#include "ado/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "errors/runtime_error.h"

namespace ado {
namespace {

// OLE dates: day 40179 is 1 January 2010.
constexpr double kNewYear2010 = 40179;

struct TextCase {
  const char* label;
  Variant value;
  const char* joined;
};

class JoinedTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(JoinedTextTest, MatchesTheRuntimeText) {
  EXPECT_EQ(GetParam().value.JoinedText(), GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(
    Values, JoinedTextTest,
    ::testing::Values(
        TextCase{"null", Variant::Null(), ""},
        TextCase{"integer", Variant::Integer(12), "12"},
        TextCase{"negative", Variant::Integer(-7), "-7"},
        TextCase{"big_integer", Variant::Integer(2147483648LL), "2147483648"},
        TextCase{"half", Variant::Double(0.5), "0.5"},
        TextCase{"whole_double", Variant::Double(12.0), "12"},
        TextCase{"no_grouping", Variant::Double(1234567.25), "1234567.25"},
        TextCase{"fifteen_digits", Variant::Double(0.1 + 0.2), "0.3"},
        TextCase{"negative_zero", Variant::Double(-0.0), "0"},
        TextCase{"exponent", Variant::Double(1e15), "1E+15"},
        TextCase{"text", Variant::Text("Brunch in the hall"), "Brunch in the hall"},
        TextCase{"date_only", Variant::Date(kNewYear2010 + 5), "1/6/2010"},
        TextCase{"time_only_midnight", Variant::Date(0), "12:00:00 AM"},
        TextCase{"time_only_noon", Variant::Date(0.5), "12:00:00 PM"},
        TextCase{"time_only_evening", Variant::Date((23 * 60 + 59) / 1440.0), "11:59:00 PM"},
        TextCase{"date_and_time", Variant::Date(kNewYear2010 + 10 / 24.0), "1/1/2010 10:00:00 AM"},
        TextCase{"time_rounds_to_second", Variant::Date(kNewYear2010 + 0.4999999 / 86400),
                 "1/1/2010"},
        TextCase{"leap_day", Variant::Date(36526 + 59), "2/29/2000"},
        TextCase{"before_day_zero", Variant::Date(-1.25), "12/29/1899 6:00:00 AM"},
        TextCase{"first_of_1900", Variant::Date(2), "1/1/1900"},
        TextCase{"yes", Variant::Boolean(true), "True"},
        TextCase{"no", Variant::Boolean(false), "False"}),
    [](const auto& info) { return std::string(info.param.label); });

// `number`: the runtime error expected, or nullopt for the value.
struct Int32Case {
  const char* label;
  Variant value;
  std::optional<int32_t> number;
  int32_t expected = 0;
};

class ToInt32Test : public ::testing::TestWithParam<Int32Case> {};

TEST_P(ToInt32Test, ReadsOrRaises) {
  const Int32Case& c = GetParam();
  if (!c.number) {
    EXPECT_EQ(c.value.ToInt32(), c.expected);
    return;
  }
  try {
    (void)c.value.ToInt32();
    ADD_FAILURE() << "no error; expected " << *c.number;
  } catch (const errors::RuntimeError& e) {
    EXPECT_EQ(e.number(), *c.number) << e.description();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ToInt32Test,
    ::testing::Values(
        Int32Case{"integer", Variant::Integer(2), std::nullopt, 2},
        Int32Case{"largest", Variant::Integer(2147483647), std::nullopt, 2147483647},
        Int32Case{"smallest", Variant::Integer(-2147483647 - 1), std::nullopt, -2147483647 - 1},
        Int32Case{"past_largest", Variant::Integer(2147483648LL), errors::kOverflow.number},
        Int32Case{"past_smallest", Variant::Integer(-2147483649LL), errors::kOverflow.number},
        Int32Case{"half_to_even_down", Variant::Double(2.5), std::nullopt, 2},
        Int32Case{"half_to_even_up", Variant::Double(3.5), std::nullopt, 4},
        Int32Case{"negative_half", Variant::Double(-2.5), std::nullopt, -2},
        Int32Case{"double_past_largest", Variant::Double(2147483647.6), errors::kOverflow.number},
        Int32Case{"nan", Variant::Double(std::nan("")), errors::kOverflow.number},
        Int32Case{"null", Variant::Null(), errors::kInvalidUseOfNull.number},
        Int32Case{"text_number", Variant::Text(" 12 "), std::nullopt, 12},
        Int32Case{"text_word", Variant::Text("twelve"), errors::kTypeMismatch.number},
        Int32Case{"empty_text", Variant::Text(""), errors::kTypeMismatch.number},
        Int32Case{"text_past_largest", Variant::Text("3000000000"), errors::kOverflow.number},
        Int32Case{"yes", Variant::Boolean(true), std::nullopt, -1},
        Int32Case{"date", Variant::Date(kNewYear2010 + 0.75), std::nullopt, 40180}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(StrictTextTest, NullIsInvalidUseOfNull) {
  try {
    (void)Variant::Null().StrictText();
    ADD_FAILURE() << "Null converted to text";
  } catch (const errors::RuntimeError& e) {
    EXPECT_EQ(e.number(), 94);
    EXPECT_EQ(e.description(), "Invalid use of Null");
  }
  EXPECT_EQ(Variant::Boolean(true).StrictText(), "True");
  EXPECT_EQ(Variant::Boolean(false).StrictText(), "False");
  EXPECT_EQ(Variant::Integer(12).StrictText(), "12");
}

TEST(FromJetTest, StoredKindsBecomeTheProgramsValues) {
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
