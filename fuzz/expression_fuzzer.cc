// Fuzz target: arbitrary text as an Access expression. The first byte picks
// the form (a whole expression or a column rule), the rest is the text; it
// is parsed, its names bound to a row of five columns, evaluated on that row
// and its result converted for a column of every type. Every step must give
// a value or an error, never a crash or a hang; the sanitizers and
// libFuzzer's limits hold them to that.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/expression.h"
#include "jet/names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const jet::ExprForm form =
      (data[0] & 1) != 0 ? jet::ExprForm::kColumnRule : jet::ExprForm::kExpression;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  jet::Expression expression;
  if (!jet::ParseExpression(text, form, &expression).ok()) return 0;
  static constexpr std::string_view kNames[] = {"Name", "Count", "Day", "Flag", "Price"};
  if (!jet::BindNames(&expression, [](std::string_view, std::string_view name) {
         for (size_t i = 0; i < std::size(kNames); ++i) {
           if (jet::NamesEqual(name, kNames[i])) return static_cast<int>(i);
         }
         return -1;
       }).ok()) {
    return 0;
  }
  const std::vector<jet::Value> row = {
      jet::Value::Bytes(jet::Value::Kind::kText, "Advent 2010"),
      jet::Value::Integer(jet::Value::Kind::kLong, -7),
      jet::Value::Real(jet::Value::Kind::kDateTime, 40184.5),
      jet::Value::Null(),
      jet::Value::Integer(jet::Value::Kind::kCurrency, 123456),
  };
  jet::Variant result;
  if (!jet::Evaluate(expression, jet::EvalInput{&row, &row[1], 40184.5}, &result).ok()) return 0;
  int truth = 0;
  (void)jet::TruthOf(result, &truth);
  for (jet::ColumnType type :
       {jet::ColumnType::kBoolean, jet::ColumnType::kByte, jet::ColumnType::kInteger,
        jet::ColumnType::kLong, jet::ColumnType::kCurrency, jet::ColumnType::kSingle,
        jet::ColumnType::kDouble, jet::ColumnType::kDateTime, jet::ColumnType::kText,
        jet::ColumnType::kGuid, jet::ColumnType::kBinary, jet::ColumnType::kNumeric}) {
    jet::ColumnDef column;
    column.type = type;
    column.precision = 18;
    column.scale = 2;
    std::string storage;
    jet::Value value;
    (void)jet::ToColumnValue(result, column, "column T.C", &storage, &value);
  }
  return 0;
}
