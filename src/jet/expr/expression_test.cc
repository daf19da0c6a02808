// Access expressions, parsed and evaluated: each case gives the text, the
// value a column rule checks (for rules), and the result as "Type value" or
// the error number Access gives.
#include "jet/expression.h"

#include <string>

#include <gtest/gtest.h>

namespace jet {
namespace {

std::string Shown(const Variant& v) {
  static const char* kNames[] = {"Null",   "Boolean", "Byte", "Integer", "Long",   "Currency",
                                 "Single", "Double",  "Date", "Text",    "Binary", "Guid"};
  std::string out = kNames[static_cast<int>(v.type)];
  if (!v.is_null()) out += " " + VariantText(v);
  return out;
}

struct Case {
  const char* text;
  const char* expected;  // "Type value", or "error N"
  ExprForm form = ExprForm::kExpression;
};

// 1/6/2010 12:00 noon, a Wednesday.
constexpr double kNow = 40184.5;

std::string EvaluateCase(const Case& c, const Value* subject, const std::vector<Value>* row) {
  Expression e;
  Status s = ParseExpression(c.text, c.form, &e);
  if (s.ok()) {
    s = BindNames(&e, [](std::string_view, std::string_view name) {
      return name == "A" ? 0 : name == "B" ? 1 : -1;
    });
  }
  Variant v;
  if (s.ok()) s = Evaluate(e, EvalInput{row, subject, kNow}, &v);
  return s.ok() ? Shown(v) : "error " + std::to_string(s.access_error());
}

TEST(ExpressionTest, EvaluatesAsAccessDoes) {
  const Case kCases[] = {
      // Literals and default-value forms.
      {"=0", "Integer 0"},
      {"\"Ordinary\"", "Text Ordinary"},
      {"'it''s'", "Text it's"},
      {"No", "Boolean 0"},
      {"On", "Boolean -1"},
      {"#1/1/2010#", "Date 1/1/2010"},
      {"#2010-01-06 13:30#", "Date 1/6/2010 1:30:00 PM"},
      {"Null", "Null"},
      {"&H1F", "Integer 31"},
      {"=Date()", "Date 1/6/2010"},
      {"Now()", "Date 1/6/2010 12:00:00 PM"},
      {"=Date()+7", "Date 1/13/2010"},
      {"Date() - #1/1/2010#", "Double 5"},
      {"Year(Now()) & \"-\" & Month(Now())", "Text 2010-1"},
      {"\"Week \" & 1 + 1", "Text Week 2"},
      // Arithmetic keeps Access's types and widens on overflow.
      {"32767 + 1", "Long 32768"},
      {"2147483647 + 1", "Double 2147483648"},
      {"7 / 2", "Double 3.5"},
      {"7 \\ 2", "Integer 3"},
      {"-7 Mod 3", "Integer -1"},
      {"2.5 \\ 1", "Long 2"},
      {"-2 ^ 2", "Double -4"},
      {"2 ^ -1", "Double 0.5"},
      {"\"3\" + 4", "Double 7"},
      {"\"a\" + \"b\"", "Text ab"},
      {"\"a\" + 1", "error 13"},
      {"1 / 0", "error 11"},
      {"CCur(0.1) * 3", "Currency 0.3"},
      {"1 + Null", "Null"},
      {"Null & Null", "Null"},
      {"Null & \"x\"", "Text x"},
      // Comparisons and three-valued logic.
      {"\"abc\" = \"ABC\"", "Boolean -1"},
      {"\"Ärger\" = \"ärger\"", "Boolean -1"},
      {"\"a\" < \"B\"", "Boolean -1"},
      {"5 = \"5\"", "Boolean -1"},
      {"5 = \"five\"", "error 3464"},
      {"#1/1/2010# = \"1/1/2010\"", "Boolean -1"},
      {"Null = Null", "Null"},
      {"False And Null", "Boolean 0"},
      {"True Or Null", "Boolean -1"},
      {"Not Null", "Null"},
      {"Not 1 = 2", "Boolean -1"},
      {"3 Between 1 And 5", "Boolean -1"},
      {"3 Not Between 4 And 5", "Boolean -1"},
      {"2 In (1, 2, 3)", "Boolean -1"},
      {"4 In (1, Null)", "Null"},
      {"\"Advent\" Like \"adv*\"", "Boolean -1"},
      {"\"A1\" Like \"[a-c]#\"", "Boolean -1"},
      {"\"x\" Like \"[!a-c]\"", "Boolean -1"},
      {"\"a*b\" Like \"a[*]b\"", "Boolean -1"},
      {"\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab\" Like \"*a*a*a*a*a*a*c\"", "Boolean 0"},
      {"\"x\" Like \"[a\"", "error 93"},
      // Functions.
      {"Len(\"Grün\")", "Long 4"},
      {"Left(\"Advent\", 3) & Right(\"Advent\", 2) & Mid(\"Advent\", 2, 2)", "Text Advntdv"},
      {"Trim(\"  x  \") & \"|\"", "Text x|"},
      {"UCase(\"grün\")", "Text GRÜN"},
      {"Weekday(#1/6/2010#)", "Integer 4"},
      // A moment before midnight of 12/29/1899 rounds to 12/30/1899, as text shows it.
      {"Day(-1.99999999) & \" \" & CDate(-1.99999999)", "Text 30 12/30/1899"},
      {"DateSerial(2010, 14, 1)", "Date 2/1/2011"},
      {"DateAdd(\"m\", 1, #1/31/2010#)", "Date 2/28/2010"},
      {"DateDiff(\"d\", #1/1/2010#, #3/1/2010#)", "Long 59"},
      {"IIf(IsNull(Null), \"empty\", 1 / 0)", "Text empty"},
      {"Nz(Null, 5)", "Integer 5"},
      {"Round(2.5)", "Double 2"},
      {"CInt(\"40000\")", "error 6"},
      {"Len(Null)", "Null"},
      {"CStr(Null)", "error 94"},
      {"InStr(\"Pentecost\", \"COST\")", "Long 6"},
      // Syntax and names.
      {"Foo(1)", "error 3085"},
      {"Len(1, 2)", "error 3075"},
      {"1 +", "error 3075"},
      {"\"open", "error 3075"},
      {"#13/45/2010#", "error 3075"},
      {"(1", "error 3075"},
      {"1)", "error 3075"},
      {"[Missing] + 1", "error 3070"},
      {"[A] * 2 + B", "Integer 25"},
      // Column rules: a comparison may leave out its left operand.
      {">=0", "Boolean -1", ExprForm::kColumnRule},
      {"Between 1 And 5", "Boolean 0", ExprForm::kColumnRule},
      {">=0 And <=5", "Boolean 0", ExprForm::kColumnRule},
      {"Is Not Null", "Boolean -1", ExprForm::kColumnRule},
      {"Not Like \"1*\"", "Boolean -1", ExprForm::kColumnRule},
      {"In (7, 9)", "Boolean -1", ExprForm::kColumnRule},
      {"<> 0 Or Is Null", "Boolean -1", ExprForm::kColumnRule},
  };
  const Value subject = Value::Integer(Value::Kind::kLong, 9);
  const std::vector<Value> row = {Value::Integer(Value::Kind::kInteger, 10),
                                  Value::Integer(Value::Kind::kByte, 5)};
  for (const Case& c : kCases) {
    EXPECT_EQ(EvaluateCase(c, &subject, &row), c.expected) << c.text;
  }
}

TEST(ExpressionTest, BoundsNestingAndStopsWhereAStatementGoesOn) {
  EXPECT_EQ(EvaluateCase({(std::string(300, '(') + "1" + std::string(300, ')')).c_str(), ""},
                         nullptr, nullptr),
            "error 3075");
  std::string chain = "1";
  for (int i = 0; i < 1000; ++i) chain += " + 1";
  EXPECT_EQ(EvaluateCase({chain.c_str(), ""}, nullptr, nullptr), "error 3075");

  Expression e;
  size_t consumed = 0;
  const std::string text = "(((Dates.DateKey)=#1/6/2010#)) ORDER BY x;";
  ASSERT_TRUE(ParseExpression(text, ExprForm::kExpression, &e, &consumed).ok());
  EXPECT_EQ(text.substr(consumed), "ORDER BY x;");
  EXPECT_EQ(e.text(), "(((Dates.DateKey)=#1/6/2010#))");
}

TEST(ExpressionTest, ConvertsForColumnsAsAccessStores) {
  struct ColumnCase {
    ColumnType type;
    Variant value;
    const char* expected;  // the stored value as text, or "error N"
  };
  Variant written = Variant::Real(Variant::Type::kDouble, 0.00005);
  written.bytes = "0.00005";
  const ColumnCase kCases[] = {
      {ColumnType::kLong, Variant::Text(" 12 "), "12"},
      {ColumnType::kLong, Variant::Real(Variant::Type::kDouble, 2.5), "2"},
      {ColumnType::kByte, Variant::Integer(Variant::Type::kInteger, 256), "error 6"},
      {ColumnType::kCurrency, written, "0"},
      {ColumnType::kText, Variant::Real(Variant::Type::kDate, 40179), "1/1/2010"},
      {ColumnType::kText, Variant::Boolean(true), "-1"},
      {ColumnType::kBoolean, Variant::Text("off"), "0"},
      {ColumnType::kBoolean, Variant::Integer(Variant::Type::kInteger, 5), "-1"},
      {ColumnType::kBoolean, Variant::Text("maybe"), "error 13"},
      {ColumnType::kDateTime, Variant::Text("1/6/2010"), "1/6/2010"},
      {ColumnType::kDateTime, Variant::Text("soon"), "error 13"},
  };
  for (const ColumnCase& c : kCases) {
    ColumnDef column;
    column.type = c.type;
    column.name = "C";
    std::string storage;
    Value out;
    const Status s = ToColumnValue(c.value, column, "column T.C", &storage, &out);
    const std::string got =
        s.ok() ? VariantText(Variant::Of(out)) : "error " + std::to_string(s.access_error());
    EXPECT_EQ(got, c.expected) << ColumnTypeName(c.type) << " " << VariantText(c.value);
  }
}

}  // namespace
}  // namespace jet
