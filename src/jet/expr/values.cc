// Conversions between Access's types; see values.h and expression.h.
//
// What a column takes (ToColumnValue):
//   COLUMN TYPE            TAKES
//   Text, Memo             text as is; a number as written, else in its
//                          shortest form; a date as m/d/yyyy [h:mm:ss AM|PM];
//                          Yes/No as -1 and 0; a GUID as {...}
//   Byte, Integer, Long    a number or a decimal text, rounded half to even
//                          to a whole number in the type's range
//   Currency               the same, rounded to four decimal places
//   Single, Double         a number or a decimal text, finite, in range
//   Date/Time              a date, a number as a day count, a date/time text
//   Yes/No                 a number (not 0 is Yes), the texts 1, 0, -1,
//                          True, False, Yes, No, On, Off (any case)
//   Replication ID         a GUID or its text
//   Binary, OLE Object     binary data
//   Decimal                a number or decimal text of up to 18 digits
// Texts are trimmed of blanks before they are read as anything else.
#include "jet/expr/values.h"

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "jet/base/value_text.h"
#include "jet/ole_date.h"
#include "platform/system.h"
#include "strings/ascii.h"
#include "strings/decimal.h"
#include "strings/hex.h"

namespace jet {

using strings::AsciiEqualsNoCase;

namespace expr {

using strings::IsDecimalText;
using strings::ParseScaled;
using strings::Scaled;

Status Fail(int number, std::string text) {
  return Status::Numbered(StatusCode::kInvalidArgument, number, std::move(text));
}
Status TypeMismatch() { return Fail(kErrorTypeMismatch, "Type mismatch"); }
Status Overflow() { return Fail(kErrorOverflow, "Overflow"); }
Status InvalidUseOfNull() { return Fail(kErrorInvalidNull, "Invalid use of Null"); }

bool IsWhole(Variant::Type type) {
  return type == Variant::Type::kBoolean || type == Variant::Type::kByte ||
         type == Variant::Type::kInteger || type == Variant::Type::kLong;
}

double NumberOf(const Variant& value) {
  if (IsWhole(value.type)) return static_cast<double>(value.integer);
  if (value.type == Variant::Type::kCurrency) return static_cast<double>(value.integer) / 10000.0;
  return value.real;
}

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Reads 1..max_digits digits at *text; false when there are none or more.
bool ReadDigits(std::string_view* text, size_t max_digits, int64_t* value, size_t* digits) {
  size_t n = 0;
  int64_t v = 0;
  while (n < text->size() && strings::IsAsciiDigit((*text)[n])) {
    if (n == max_digits) return false;
    v = v * 10 + ((*text)[n] - '0');
    ++n;
  }
  if (n == 0) return false;
  text->remove_prefix(n);
  *value = v;
  *digits = n;
  return true;
}

bool ParseDatePart(std::string_view* text, int64_t* days) {
  int64_t a = 0, b = 0, c = 0;
  size_t a_digits = 0, b_digits = 0, c_digits = 0;
  if (!ReadDigits(text, 4, &a, &a_digits) || text->empty()) return false;
  const char separator = text->front();
  if (separator != '/' && separator != '-') return false;
  text->remove_prefix(1);
  if (!ReadDigits(text, 2, &b, &b_digits) || text->empty() || text->front() != separator) {
    return false;
  }
  text->remove_prefix(1);
  if (!ReadDigits(text, 4, &c, &c_digits)) return false;
  int64_t year = 0, month = 0, day = 0;
  if (a_digits == 4) {
    year = a, month = b, day = c;
    if (c_digits > 2) return false;
  } else {
    if (a_digits > 2) return false;
    month = a, day = b, year = c;
    if (c_digits <= 2) year += year < 30 ? 2000 : 1900;
  }
  if (year < 100 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, static_cast<unsigned>(month))) {
    return false;
  }
  *days = OleDayFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return true;
}

bool ParseTimePart(std::string_view* text, double* fraction) {
  int64_t hour = 0, minute = 0, second = 0;
  size_t digits = 0;
  if (!ReadDigits(text, 2, &hour, &digits) || text->empty() || text->front() != ':') return false;
  text->remove_prefix(1);
  if (!ReadDigits(text, 2, &minute, &digits) || digits != 2) return false;
  if (!text->empty() && text->front() == ':') {
    text->remove_prefix(1);
    if (!ReadDigits(text, 2, &second, &digits) || digits != 2) return false;
  }
  *text = Trim(*text);
  const std::string_view meridiem = text->substr(0, 2);
  const bool pm = AsciiEqualsNoCase(meridiem, "PM");
  if (pm || AsciiEqualsNoCase(meridiem, "AM")) {
    text->remove_prefix(2);
    if (hour > 12) return false;
    if (hour == 12) hour = 0;
    if (pm) hour += 12;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  *fraction = static_cast<double>(hour * 3600 + minute * 60 + second) / 86400.0;
  return true;
}

std::string NumberText(double v, int digits) {
  if (v == std::trunc(v) && std::fabs(v) < 1e15) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", v == 0 ? 0.0 : v);
    return buffer;
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.*G", digits, v);
  return buffer;
}

std::string ColumnTypeText(const ColumnDef& column) {
  switch (column.type) {
    case ColumnType::kBoolean: return "Yes/No";
    case ColumnType::kDateTime: return "Date/Time";
    default: return ColumnTypeName(column.type);
  }
}

std::string Shown(const Variant& value) {
  switch (value.type) {
    case Variant::Type::kText: return "'" + value.bytes + "'";
    case Variant::Type::kDate: return "#" + FormatOleDate(value.real) + "#";
    case Variant::Type::kBoolean: return value.integer != 0 ? "True" : "False";
    case Variant::Type::kBinary:
      return "binary data of " + std::to_string(value.bytes.size()) + " bytes";
    default: return VariantText(value);
  }
}

}  // namespace

bool ParseNumberText(std::string_view text, double* number) {
  text = Trim(text);
  if (text.size() > 2 && text[0] == '&' &&
      (text[1] == 'H' || text[1] == 'h' || text[1] == 'O' || text[1] == 'o')) {
    const int base = text[1] == 'H' || text[1] == 'h' ? 16 : 8;
    uint64_t v = 0;
    for (char c : text.substr(2)) {
      const int d = strings::HexDigitValue(c);
      if (d < 0 || d >= base || v > (uint64_t{1} << 40)) return false;
      v = v * base + d;
    }
    *number = static_cast<double>(v);
    return true;
  }
  if (!IsDecimalText(text)) return false;
  *number = std::strtod(std::string(text).c_str(), nullptr);
  return std::isfinite(*number);
}

Status ToNumber(const Variant& value, Variant* number) {
  if (value.IsNumeric()) {
    *number = value;
    return Status::OK();
  }
  double d = 0;
  if (value.type == Variant::Type::kText && ParseNumberText(value.bytes, &d)) {
    *number = Variant::Real(Variant::Type::kDouble, d);
    return Status::OK();
  }
  return TypeMismatch();
}

Status ToDouble(const Variant& value, double* number) {
  Variant n;
  JET_RETURN_IF_ERROR(ToNumber(value, &n));
  *number = NumberOf(n);
  return Status::OK();
}

Status ToDate(const Variant& value, double* ole_date) {
  if (value.type == Variant::Type::kText && ParseDateTimeText(value.bytes, ole_date)) {
    return Status::OK();
  }
  JET_RETURN_IF_ERROR(ToDouble(value, ole_date));
  if (*ole_date < -657434.0 || *ole_date >= 2958466.0) return Overflow();
  return Status::OK();
}

Status ToLong(const Variant& value, int64_t* number) {
  if (IsWhole(value.type)) {
    *number = value.integer;
    return Status::OK();
  }
  double d = 0;
  JET_RETURN_IF_ERROR(ToDouble(value, &d));
  d = std::nearbyint(d);
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) return Overflow();
  *number = static_cast<int64_t>(d);
  return Status::OK();
}

Variant WholeNumber(int64_t n) {
  if (n >= -32768 && n <= 32767) return Variant::Integer(Variant::Type::kInteger, n);
  if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max()) {
    return Variant::Integer(Variant::Type::kLong, n);
  }
  return Variant::Real(Variant::Type::kDouble, static_cast<double>(n));
}

}  // namespace expr

Variant Variant::Of(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::kNull: return Null();
    case Value::Kind::kBoolean: return Boolean(value.boolean());
    case Value::Kind::kByte: return Integer(Type::kByte, value.integer());
    case Value::Kind::kInteger: return Integer(Type::kInteger, value.integer());
    case Value::Kind::kLong: return Integer(Type::kLong, value.integer());
    case Value::Kind::kCurrency: return Integer(Type::kCurrency, value.integer());
    case Value::Kind::kSingle: return Real(Type::kSingle, value.real());
    case Value::Kind::kDouble: return Real(Type::kDouble, value.real());
    case Value::Kind::kDateTime: return Real(Type::kDate, value.real());
    case Value::Kind::kText: return Text(std::string(value.text()));
    case Value::Kind::kBinary: {
      Variant v = Text(std::string(value.binary()));
      v.type = Type::kBinary;
      return v;
    }
    case Value::Kind::kGuid: {
      Variant v;
      v.type = Type::kGuid;
      v.bytes.assign(reinterpret_cast<const char*>(value.guid().data()), value.guid().size());
      return v;
    }
    case Value::Kind::kDecimal: {
      const Decimal& d = value.decimal();
      double magnitude = 0;
      for (uint32_t word : d.magnitude) magnitude = magnitude * 4294967296.0 + word;
      return Real(Type::kDouble, (d.negative ? -magnitude : magnitude) / std::pow(10.0, d.scale));
    }
  }
  return Null();
}

bool ParseDateTimeText(std::string_view text, double* ole_date) {
  text = expr::Trim(text);
  if (text.empty()) return false;
  int64_t days = 0;
  double fraction = 0;
  const size_t colon = text.find(':');
  const size_t separator = text.find_first_of("/-");
  if (separator != std::string_view::npos &&
      (colon == std::string_view::npos || separator < colon)) {
    if (!expr::ParseDatePart(&text, &days)) return false;
    text = expr::Trim(text);
    if (!text.empty() && !expr::ParseTimePart(&text, &fraction)) return false;
  } else if (!expr::ParseTimePart(&text, &fraction)) {
    return false;
  }
  if (!expr::Trim(text).empty()) return false;
  *ole_date = JoinOleDate(days, fraction);
  return true;
}

std::string FormatOleDate(double ole_date) {
  if (!std::isfinite(ole_date) || std::fabs(ole_date) > 3e6) return std::to_string(ole_date);
  const OleDateParts parts = SplitOleDate(ole_date);
  const int64_t seconds = parts.seconds;
  const CivilDate date = CivilFromOleDay(parts.day);
  std::string out =
      std::to_string(date.month) + "/" + std::to_string(date.day) + "/" + std::to_string(date.year);
  if (seconds != 0) {
    const int64_t hour = seconds / 3600;
    const int64_t hour12 = hour % 12 == 0 ? 12 : hour % 12;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, " %lld:%02lld:%02lld %s", static_cast<long long>(hour12),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60),
                  hour < 12 ? "AM" : "PM");
    out += buffer;
  }
  return out;
}

std::string VariantText(const Variant& value) {
  using T = Variant::Type;
  switch (value.type) {
    case T::kNull: return "";
    case T::kText:
    case T::kBinary: return value.bytes;
    case T::kBoolean:
    case T::kByte:
    case T::kInteger:
    case T::kLong: return std::to_string(value.integer);
    case T::kCurrency: {
      std::string text = expr::NumberText(static_cast<double>(value.integer / 10000), 15);
      if (value.integer < 0 && value.integer / 10000 == 0) text = "-0";
      int64_t fraction = value.integer % 10000;
      if (fraction == 0) return text;
      if (fraction < 0) fraction = -fraction;
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, ".%04lld", static_cast<long long>(fraction));
      std::string digits = buffer;
      while (digits.back() == '0') digits.pop_back();
      return text + digits;
    }
    case T::kSingle: return expr::NumberText(value.real, 7);
    case T::kDouble: return expr::NumberText(value.real, 15);
    case T::kDate: return FormatOleDate(value.real);
    case T::kGuid: {
      std::array<uint8_t, 16> guid{};
      std::memcpy(guid.data(), value.bytes.data(), std::min<size_t>(16, value.bytes.size()));
      return GuidText(guid);
    }
  }
  return "";
}

double NowAsOleDate() {
  const platform::LocalTime now = platform::LocalNow();
  const int64_t day =
      OleDayFromCivil(now.year, static_cast<unsigned>(now.month), static_cast<unsigned>(now.day));
  return static_cast<double>(day) + (now.hour * 3600 + now.minute * 60 + now.second) / 86400.0;
}

namespace {

// The range and kind of a whole-number column (Byte, Integer, Long, Currency).
struct IntegerRange {
  int64_t low;
  int64_t high;
  Value::Kind kind;
};

IntegerRange RangeOf(ColumnType type) {
  switch (type) {
    case ColumnType::kByte: return {0, 255, Value::Kind::kByte};
    case ColumnType::kInteger: return {-32768, 32767, Value::Kind::kInteger};
    case ColumnType::kLong:
      return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
              Value::Kind::kLong};
    default:
      return {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
              Value::Kind::kCurrency};
  }
}

// One value for one column: a conversion to each kind of column type.
class ColumnConversion {
 public:
  ColumnConversion(const Variant& value, const ColumnDef& column, const std::string& where)
      : value_(value),
        column_(column),
        target_(where + " (" + expr::ColumnTypeText(column) + ")"),
        written_number_(value.IsNumeric() && !value.bytes.empty()),
        trimmed_(expr::Trim(value.bytes)) {}

  Status Mismatch() const {
    return Status::Numbered(
        StatusCode::kInvalidArgument, kErrorTypeMismatch,
        "Data type mismatch: " + target_ + " cannot take the value " + expr::Shown(value_));
  }

  Status Overflow() const {
    return Status::Numbered(
        StatusCode::kInvalidArgument, kErrorOverflow,
        "Overflow: the value " + expr::Shown(value_) + " does not fit " + target_);
  }

  Status ToText(std::string* storage, Value* out) const {
    if (value_.type == T::kBinary) return Mismatch();
    *storage = written_number_ || value_.type == T::kText ? value_.bytes : VariantText(value_);
    *out = Value::Bytes(Value::Kind::kText, *storage);
    return Status::OK();
  }

  Status ToBoolean(Value* out) const {
    if (value_.type == T::kText) {
      static constexpr std::pair<std::string_view, bool> kWords[] = {
          {"1", true},   {"-1", true},  {"0", false}, {"True", true}, {"False", false},
          {"Yes", true}, {"No", false}, {"On", true}, {"Off", false}};
      for (const auto& [word, yes] : kWords) {
        if (AsciiEqualsNoCase(trimmed_, word)) {
          *out = Value::Boolean(yes);
          return Status::OK();
        }
      }
      return Mismatch();
    }
    if (!value_.IsNumeric() || value_.type == T::kDate) return Mismatch();
    *out = Value::Boolean(expr::NumberOf(value_) != 0);
    return Status::OK();
  }

  // Byte, Integer, Long, Currency.
  Status ToWholeNumber(Value* out) const {
    const bool currency = column_.type == ColumnType::kCurrency;
    int64_t n = 0;
    if (value_.type == T::kText || written_number_) {
      const expr::Scaled scaled = expr::ParseScaled(trimmed_, currency ? 4 : 0, &n);
      if (scaled == expr::Scaled::kNotANumber) return Mismatch();
      if (scaled == expr::Scaled::kOverflow) return Overflow();
    } else if (value_.type == T::kCurrency) {
      n = currency ? value_.integer
                   : static_cast<int64_t>(std::nearbyint(value_.integer / 10000.0));
    } else if (expr::IsWhole(value_.type)) {
      n = value_.integer * (currency ? 10000 : 1);
    } else if (value_.IsNumeric()) {
      const double d = std::nearbyint(value_.real * (currency ? 10000.0 : 1.0));
      if (!(std::fabs(d) < 9.2e18)) return Overflow();
      n = static_cast<int64_t>(d);
    } else {
      return Mismatch();
    }
    const IntegerRange range = RangeOf(column_.type);
    if (n < range.low || n > range.high) return Overflow();
    *out = Value::Integer(range.kind, n);
    return Status::OK();
  }

  // Single, Double.
  Status ToReal(Value* out) const {
    double d = 0;
    if (value_.type == T::kText || written_number_) {
      if (!expr::IsDecimalText(trimmed_)) return Mismatch();
      d = std::strtod(std::string(trimmed_).c_str(), nullptr);
    } else if (value_.IsNumeric()) {
      d = expr::NumberOf(value_);
    } else {
      return Mismatch();
    }
    if (column_.type == ColumnType::kSingle) {
      if (!std::isfinite(d) || std::fabs(d) > FLT_MAX) return Overflow();
      *out = Value::Real(Value::Kind::kSingle, static_cast<float>(d));
      return Status::OK();
    }
    if (!std::isfinite(d)) return Overflow();
    *out = Value::Real(Value::Kind::kDouble, d);
    return Status::OK();
  }

  Status ToDateTime(Value* out) const {
    double ole = 0;
    if (value_.type == T::kText) {
      if (!ParseDateTimeText(value_.bytes, &ole)) return Mismatch();
    } else if (value_.IsNumeric() && value_.type != T::kBoolean) {
      ole = written_number_ ? std::strtod(value_.bytes.c_str(), nullptr) : expr::NumberOf(value_);
      // Days of the years 100 to 9999, the range Access stores.
      if (!std::isfinite(ole) || ole < -657434.0 || ole >= 2958466.0) return Overflow();
    } else {
      return Mismatch();
    }
    *out = Value::Real(Value::Kind::kDateTime, ole);
    return Status::OK();
  }

  Status ToGuid(Value* out) const {
    std::array<uint8_t, 16> guid{};
    if (value_.type == T::kGuid && value_.bytes.size() == 16) {
      std::memcpy(guid.data(), value_.bytes.data(), 16);
    } else if (value_.type != T::kText || !ParseGuidText(trimmed_, &guid)) {
      return Mismatch();
    }
    *out = Value::Guid(guid);
    return Status::OK();
  }

  // Binary, OLE Object.
  Status ToBinary(std::string* storage, Value* out) const {
    if (value_.type != T::kBinary) return Mismatch();
    *storage = value_.bytes;
    *out = Value::Bytes(Value::Kind::kBinary, *storage);
    return Status::OK();
  }

  Status ToDecimal(Value* out) const {
    std::string text = value_.type == T::kText || written_number_      ? std::string(trimmed_)
                       : value_.IsNumeric() && value_.type != T::kDate ? VariantText(value_)
                                                                       : std::string();
    int64_t n = 0;
    const expr::Scaled scaled = expr::ParseScaled(text, column_.scale, &n);
    if (scaled == expr::Scaled::kNotANumber) return Mismatch();
    if (scaled == expr::Scaled::kOverflow) return Overflow();
    Decimal d;
    d.negative = n < 0;
    d.precision = column_.precision;
    d.scale = column_.scale;
    const uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    d.magnitude[2] = static_cast<uint32_t>(magnitude >> 32);
    d.magnitude[3] = static_cast<uint32_t>(magnitude);
    *out = Value::Dec(d);
    return Status::OK();
  }

 private:
  using T = Variant::Type;

  const Variant& value_;
  const ColumnDef& column_;
  const std::string target_;   // the column and its type, for messages
  const bool written_number_;  // a number that keeps the text it was written as
  const std::string_view trimmed_;
};

}  // namespace

Status ToColumnValue(const Variant& value, const ColumnDef& column, const std::string& where,
                     std::string* storage, Value* out) {
  if (value.is_null()) {
    *out = Value::Null();
    return Status::OK();
  }
  const ColumnConversion conversion(value, column, where);
  switch (column.type) {
    case ColumnType::kText:
    case ColumnType::kMemo: return conversion.ToText(storage, out);
    case ColumnType::kBoolean: return conversion.ToBoolean(out);
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
    case ColumnType::kCurrency: return conversion.ToWholeNumber(out);
    case ColumnType::kSingle:
    case ColumnType::kDouble: return conversion.ToReal(out);
    case ColumnType::kDateTime: return conversion.ToDateTime(out);
    case ColumnType::kGuid: return conversion.ToGuid(out);
    case ColumnType::kBinary:
    case ColumnType::kOle: return conversion.ToBinary(storage, out);
    case ColumnType::kNumeric: return conversion.ToDecimal(out);
  }
  return conversion.Mismatch();
}

}  // namespace jet
