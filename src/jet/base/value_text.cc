// Values as error messages and check reports show them; see value_text.h.
#include "jet/base/value_text.h"

#include <cmath>
#include <cstdio>

#include "jet/ole_date.h"

namespace jet {

// OLE date (days since 1899-12-30) as yyyy-mm-dd[ hh:mm:ss].
std::string DateText(double ole) {
  if (!std::isfinite(ole) || std::fabs(ole) > 3e6) return std::to_string(ole);
  const double day = std::trunc(ole);
  const int64_t seconds = std::llround(std::fabs(ole - day) * 86400);
  const CivilDate date = CivilFromOleDay(static_cast<int64_t>(day));
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", static_cast<long long>(date.year),
                date.month, date.day);
  std::string text = buffer;
  if (seconds != 0) {
    std::snprintf(buffer, sizeof buffer, " %02lld:%02lld:%02lld",
                  static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                  static_cast<long long>(seconds % 60));
    text += buffer;
  }
  return text;
}

// A value as messages show it.
std::string ValueText(const Value& value) {
  char buffer[48];
  switch (value.kind()) {
    case Value::Kind::kNull: return "Null";
    case Value::Kind::kBoolean: return value.boolean() ? "True" : "False";
    case Value::Kind::kByte:
    case Value::Kind::kInteger:
    case Value::Kind::kLong: return std::to_string(value.integer());
    case Value::Kind::kCurrency:
      std::snprintf(buffer, sizeof buffer, "%.4f", static_cast<double>(value.integer()) / 10000);
      return buffer;
    case Value::Kind::kSingle:
    case Value::Kind::kDouble:
      std::snprintf(buffer, sizeof buffer, "%.17g", value.real());
      return buffer;
    case Value::Kind::kDateTime: return DateText(value.real());
    case Value::Kind::kText: return "\"" + std::string(value.text().substr(0, 60)) + "\"";
    case Value::Kind::kBinary: return std::to_string(value.binary().size()) + " bytes";
    case Value::Kind::kGuid: return "a GUID";
    case Value::Kind::kDecimal: return value.decimal().ToString();
  }
  return "?";
}

// "EventId = 5, EventDate = 2009-01-01": the row's values of the index's columns.
std::string IndexValuesText(const TableDef& table, const IndexDef& index,
                            const std::vector<Value>& values) {
  std::string text;
  for (const IndexColumnDef& ic : index.columns) {
    for (size_t i = 0; i < table.columns.size() && i < values.size(); ++i) {
      if (table.columns[i].column_number != ic.column_number) continue;
      if (!text.empty()) text += ", ";
      text += table.columns[i].name + " = " + ValueText(values[i]);
    }
  }
  return text;
}

}  // namespace jet
