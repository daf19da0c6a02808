#include "sql/convert.h"

#include <cmath>
#include <deque>
#include <string>

#include <gtest/gtest.h>

namespace sql {
namespace {

using jet::ColumnType;
using Kind = Literal::Kind;

Literal Make(Kind kind, const char* text) {
  Literal literal;
  literal.kind = kind;
  literal.text = text;
  if (kind == Kind::kBoolean) literal.boolean = std::string(text) == "True";
  return literal;
}

// expected: the value's number (integer kinds, Currency x 10,000, reals,
// dates as OLE days, Yes/No as 1/0) or its text; failure: kind of failure.
struct Case {
  ColumnType type;
  Kind kind;
  const char* text;
  ConvertFailure failure;
  double number;
  const char* expected_text;
};

constexpr double kMinute = 1.0 / 1440.0;

TEST(ConvertTest, LiteralsBecomeTheColumnsType) {
  const ConvertFailure ok = ConvertFailure::kNone, mismatch = ConvertFailure::kMismatch,
                       overflow = ConvertFailure::kOverflow;
  const Case cases[] = {
      // Date/Time from # literals and texts; 1/6/2010 is day 40184.
      {ColumnType::kDateTime, Kind::kDate, "1/6/2010", ok, 40184, nullptr},
      {ColumnType::kDateTime, Kind::kString, "1/6/2010", ok, 40184, nullptr},
      {ColumnType::kDateTime, Kind::kString, " 01/06/10 ", ok, 40184, nullptr},
      {ColumnType::kDateTime, Kind::kString, "2010-01-06", ok, 40184, nullptr},
      {ColumnType::kDateTime, Kind::kString, "0:00 AM", ok, 0, nullptr},
      {ColumnType::kDateTime, Kind::kString, "11:59 PM", ok, (23 * 60 + 59) * kMinute, nullptr},
      {ColumnType::kDateTime, Kind::kString, "12:30 AM", ok, 30 * kMinute, nullptr},
      {ColumnType::kDateTime, Kind::kString, "12:30PM", ok, (12 * 60 + 30) * kMinute, nullptr},
      {ColumnType::kDateTime, Kind::kString, "18:30", ok, (18 * 60 + 30) * kMinute, nullptr},
      {ColumnType::kDateTime, Kind::kString, "1/1/2010 10:00:00 AM", ok, 40179 + 600 * kMinute,
       nullptr},
      {ColumnType::kDateTime, Kind::kDate, "12/30/1899", ok, 0, nullptr},
      {ColumnType::kDateTime, Kind::kDate, "12/29/1899 6:00 AM", ok, -1.25, nullptr},
      {ColumnType::kDateTime, Kind::kString, "2/29/2012", ok, 40968, nullptr},
      {ColumnType::kDateTime, Kind::kNumber, "40184.5", ok, 40184.5, nullptr},
      {ColumnType::kDateTime, Kind::kString, "2/29/2010", mismatch, 0, nullptr},
      {ColumnType::kDateTime, Kind::kString, "13:00 PM", mismatch, 0, nullptr},
      {ColumnType::kDateTime, Kind::kString, "1/6/2010 25:00", mismatch, 0, nullptr},
      {ColumnType::kDateTime, Kind::kString, "", mismatch, 0, nullptr},
      {ColumnType::kDateTime, Kind::kString, "New Year", mismatch, 0, nullptr},
      {ColumnType::kDateTime, Kind::kBoolean, "True", mismatch, 0, nullptr},
      // Numbers from numbers and decimal texts, rounded half to even.
      {ColumnType::kLong, Kind::kString, "0", ok, 0, nullptr},
      {ColumnType::kLong, Kind::kNumber, "-2147483648", ok, -2147483648.0, nullptr},
      {ColumnType::kLong, Kind::kString, "2147483648", overflow, 0, nullptr},
      {ColumnType::kLong, Kind::kString, "99999999999999999999999", overflow, 0, nullptr},
      {ColumnType::kLong, Kind::kString, "2.5", ok, 2, nullptr},
      {ColumnType::kLong, Kind::kString, "3.5", ok, 4, nullptr},
      {ColumnType::kLong, Kind::kString, "2.51", ok, 3, nullptr},
      {ColumnType::kLong, Kind::kString, "-2.5", ok, -2, nullptr},
      {ColumnType::kLong, Kind::kString, " 12 ", ok, 12, nullptr},
      {ColumnType::kLong, Kind::kString, "1e3", ok, 1000, nullptr},
      {ColumnType::kLong, Kind::kString, "", mismatch, 0, nullptr},
      {ColumnType::kLong, Kind::kString, "12abc", mismatch, 0, nullptr},
      {ColumnType::kLong, Kind::kString, "0x10", mismatch, 0, nullptr},
      {ColumnType::kLong, Kind::kDate, "1/6/2010", mismatch, 0, nullptr},
      {ColumnType::kLong, Kind::kBoolean, "True", ok, -1, nullptr},
      {ColumnType::kInteger, Kind::kNumber, "32767", ok, 32767, nullptr},
      {ColumnType::kInteger, Kind::kNumber, "-32769", overflow, 0, nullptr},
      {ColumnType::kByte, Kind::kNumber, "255", ok, 255, nullptr},
      {ColumnType::kByte, Kind::kNumber, "-1", overflow, 0, nullptr},
      {ColumnType::kCurrency, Kind::kString, "12.34565", ok, 123456, nullptr},
      {ColumnType::kCurrency, Kind::kNumber, "-0.01", ok, -100, nullptr},
      {ColumnType::kDouble, Kind::kString, "1.25e2", ok, 125, nullptr},
      {ColumnType::kDouble, Kind::kString, "1e999", overflow, 0, nullptr},
      {ColumnType::kDouble, Kind::kString, "nan", mismatch, 0, nullptr},
      {ColumnType::kSingle, Kind::kNumber, "0.5", ok, 0.5, nullptr},
      {ColumnType::kSingle, Kind::kNumber, "1e39", overflow, 0, nullptr},
      // Yes/No.
      {ColumnType::kBoolean, Kind::kString, "1", ok, 1, nullptr},
      {ColumnType::kBoolean, Kind::kString, "0", ok, 0, nullptr},
      {ColumnType::kBoolean, Kind::kString, "-1", ok, 1, nullptr},
      {ColumnType::kBoolean, Kind::kString, "tRUE", ok, 1, nullptr},
      {ColumnType::kBoolean, Kind::kString, "false", ok, 0, nullptr},
      {ColumnType::kBoolean, Kind::kString, "Yes", ok, 1, nullptr},
      {ColumnType::kBoolean, Kind::kString, "NO", ok, 0, nullptr},
      {ColumnType::kBoolean, Kind::kNumber, "-1", ok, 1, nullptr},
      {ColumnType::kBoolean, Kind::kBoolean, "False", ok, 0, nullptr},
      {ColumnType::kBoolean, Kind::kString, "2", mismatch, 0, nullptr},
      {ColumnType::kBoolean, Kind::kString, "", mismatch, 0, nullptr},
      {ColumnType::kBoolean, Kind::kString, "maybe", mismatch, 0, nullptr},
      {ColumnType::kBoolean, Kind::kDate, "1/1/2010", mismatch, 0, nullptr},
      // Text and Memo take text as is, numbers as written.
      {ColumnType::kText, Kind::kString, "New Year's Day", ok, 0, "New Year's Day"},
      {ColumnType::kText, Kind::kString, " 12 ", ok, 0, " 12 "},
      {ColumnType::kText, Kind::kNumber, "-12.50", ok, 0, "-12.50"},
      {ColumnType::kMemo, Kind::kDate, "1/6/2010 18:30", ok, 0, "1/6/2010 6:30:00 PM"},
      {ColumnType::kText, Kind::kBoolean, "True", ok, 0, "-1"},
      // Binary columns take nothing but Null.
      {ColumnType::kBinary, Kind::kString, "00", ConvertFailure::kNotSupported, 0, nullptr},
  };
  jet::TableDef table;
  table.name = "Sample";
  for (const Case& c : cases) {
    jet::ColumnDef column;
    column.name = "Field";
    column.type = c.type;
    std::deque<std::string> arena;
    const Literal literal = Make(c.kind, c.text);
    const Converted converted = ConvertLiteral(table, column, literal, &arena);
    const std::string label = jet::ColumnTypeName(c.type) + " <- " + literal.Display();
    ASSERT_EQ(converted.failure, c.failure) << label << ": " << converted.description;
    if (c.failure != ConvertFailure::kNone) {
      // Table, column and value are named.
      EXPECT_NE(converted.description.find("Sample.Field"), std::string::npos)
          << converted.description;
      EXPECT_NE(converted.description.find(literal.Display()), std::string::npos)
          << converted.description;
      if (c.failure == ConvertFailure::kMismatch) {
        EXPECT_EQ(converted.description.rfind("Data type mismatch", 0), 0u)
            << converted.description;
      }
      continue;
    }
    const jet::Value& v = converted.value;
    switch (c.type) {
      case ColumnType::kText:
      case ColumnType::kMemo: EXPECT_EQ(v.text(), c.expected_text) << label; break;
      case ColumnType::kBoolean: EXPECT_EQ(v.boolean(), c.number != 0) << label; break;
      case ColumnType::kDateTime:
      case ColumnType::kSingle:
      case ColumnType::kDouble: EXPECT_NEAR(v.real(), c.number, 1e-9) << label; break;
      default: EXPECT_EQ(v.integer(), static_cast<int64_t>(c.number)) << label;
    }
  }
}

TEST(ConvertTest, DateTextRoundTrip) {
  const char* texts[] = {"1/6/2010", "12/31/9999 11:59:59 PM", "1/1/100", "2/29/2000 12:00:01 AM",
                         "12/30/1899 6:30:00 PM"};
  for (const char* text : texts) {
    double ole = 0;
    ASSERT_TRUE(ParseDateTimeText(text, &ole)) << text;
    EXPECT_EQ(FormatOleDate(ole), text);
  }
}

}  // namespace
}  // namespace sql
