// Values as error messages and check reports show them; see value_text.h.
#include "jet/base/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "jet/ole_date.h"
#include "strings/utf8.h"

namespace jet {

// OLE date (days since 1899-12-30) as yyyy-mm-dd[ hh:mm:ss].
std::string DateText(double ole) {
  if (!std::isfinite(ole) || std::fabs(ole) > 3e6) return std::to_string(ole);
  const OleDateParts parts = SplitOleDate(ole);
  const int64_t seconds = parts.seconds;
  const CivilDate date = CivilFromOleDay(parts.day);
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
    case Value::Kind::kText: return "\"" + strings::ShortenedText(value.text(), 60) + "\"";
    case Value::Kind::kBinary: return std::to_string(value.binary().size()) + " bytes";
    case Value::Kind::kGuid: return "a GUID";
    case Value::Kind::kDecimal: return value.decimal().ToString();
  }
  return "?";
}

namespace {

// The shortest text that reads back as `d`.
std::string RealText(double d) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  return ec == std::errc() ? std::string(buf, end) : std::to_string(d);
}

// Currency (x 10,000) as a plain decimal: 125000 -> "12.5".
std::string CurrencyText(int64_t scaled) {
  const bool negative = scaled < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : scaled;
  std::string text = std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return negative ? "-" + text : text;
}

}  // namespace

std::string DescribedValue(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kNull: return "null";
    case Value::Kind::kBoolean: return v.boolean() ? "the Boolean True" : "the Boolean False";
    case Value::Kind::kByte:
    case Value::Kind::kInteger:
    case Value::Kind::kLong: return std::to_string(v.integer());
    case Value::Kind::kCurrency: return "the currency amount " + CurrencyText(v.integer());
    case Value::Kind::kSingle:
    case Value::Kind::kDouble: return RealText(v.real());
    case Value::Kind::kDateTime: return "the date/time " + RealText(v.real());
    case Value::Kind::kText: return "the text \"" + strings::ShortenedText(v.text(), 40) + "\"";
    case Value::Kind::kBinary:
      return "binary data of " + std::to_string(v.binary().size()) + " bytes";
    case Value::Kind::kGuid: return "the GUID " + GuidText(v.guid());
    case Value::Kind::kDecimal: return v.decimal().ToString();
  }
  return "a value";
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
