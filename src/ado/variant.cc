// Variant values and their text and number conversions; see variant.h.
#include "ado/variant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "errors/runtime_error.h"
#include "jet/ole_date.h"
#include "jet/types.h"

namespace ado {
namespace {

std::string FormatTime(int64_t seconds_of_day) {
  const int64_t hour24 = seconds_of_day / 3600;
  const int64_t minute = seconds_of_day / 60 % 60;
  const int64_t second = seconds_of_day % 60;
  const int64_t hour12 = hour24 % 12 == 0 ? 12 : hour24 % 12;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld %s", static_cast<long long>(hour12),
                static_cast<long long>(minute), static_cast<long long>(second),
                hour24 < 12 ? "AM" : "PM");
  return buffer;
}

std::string FormatDay(int64_t ole_day) {
  const jet::CivilDate date = jet::CivilFromOleDay(ole_day);
  return std::to_string(date.month) + "/" + std::to_string(date.day) + "/" +
         std::to_string(date.year);
}

[[noreturn]] void Throw(const errors::KnownError& error) { throw errors::RuntimeError(error); }

int32_t RoundToInt32(double value) {
  if (std::isnan(value)) Throw(errors::kOverflow);
  const double rounded = std::nearbyint(value);  // the default mode rounds half to even
  if (rounded < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<int32_t>::max())) {
    Throw(errors::kOverflow);
  }
  return static_cast<int32_t>(rounded);
}

double ParseNumberText(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) Throw(errors::kTypeMismatch);
  const std::string trimmed = text.substr(begin, end - begin + 1);
  char* stop = nullptr;
  errno = 0;
  const double value = std::strtod(trimmed.c_str(), &stop);
  if (stop != trimmed.c_str() + trimmed.size() || std::isnan(value)) Throw(errors::kTypeMismatch);
  if (errno == ERANGE && std::isinf(value)) Throw(errors::kOverflow);
  return value;
}

}  // namespace

Variant Variant::Integer(int64_t value) {
  Variant v;
  v.type_ = Type::kInteger;
  v.integer_ = value;
  return v;
}

Variant Variant::Double(double value) {
  Variant v;
  v.type_ = Type::kDouble;
  v.real_ = value;
  return v;
}

Variant Variant::Text(std::string value) {
  Variant v;
  v.type_ = Type::kText;
  v.text_ = std::move(value);
  return v;
}

Variant Variant::Date(double ole_date) {
  Variant v;
  v.type_ = Type::kDate;
  v.real_ = ole_date;
  return v;
}

Variant Variant::Boolean(bool value) {
  Variant v;
  v.type_ = Type::kBoolean;
  v.integer_ = value ? 1 : 0;
  return v;
}

Variant Variant::FromJet(const jet::Value& value) {
  using Kind = jet::Value::Kind;
  switch (value.kind()) {
    case Kind::kNull: return Null();
    case Kind::kBoolean: return Boolean(value.boolean());
    case Kind::kByte:
    case Kind::kInteger:
    case Kind::kLong: return Integer(value.integer());
    case Kind::kCurrency: return Double(static_cast<double>(value.integer()) / 10000.0);
    case Kind::kSingle: {
      // A Single shows its own 7 digits, not the noise of its widening.
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.7G", value.real());
      return Double(std::strtod(buffer, nullptr));
    }
    case Kind::kDouble: return Double(value.real());
    case Kind::kDateTime: return Date(value.real());
    case Kind::kText: return Text(std::string(value.text()));
    case Kind::kBinary: return Text(std::string(value.binary()));
    case Kind::kGuid: return Text(jet::GuidText(value.guid()));
    case Kind::kDecimal: return Double(std::strtod(value.decimal().ToString().c_str(), nullptr));
  }
  return Null();
}

std::string Variant::JoinedText() const {
  switch (type_) {
    case Type::kNull: return "";
    case Type::kInteger: return std::to_string(integer_);
    case Type::kDouble: return NumberText(real_);
    case Type::kText: return text_;
    case Type::kDate: return DateText(real_);
    case Type::kBoolean: return integer_ != 0 ? "True" : "False";
  }
  return "";
}

std::string Variant::StrictText() const {
  if (IsNull()) Throw(errors::kInvalidUseOfNull);
  return JoinedText();
}

int32_t Variant::ToInt32() const {
  switch (type_) {
    case Type::kNull: Throw(errors::kInvalidUseOfNull);
    case Type::kInteger:
      if (integer_ < std::numeric_limits<int32_t>::min() ||
          integer_ > std::numeric_limits<int32_t>::max()) {
        Throw(errors::kOverflow);
      }
      return static_cast<int32_t>(integer_);
    case Type::kDouble:
    case Type::kDate: return RoundToInt32(real_);
    case Type::kText: return RoundToInt32(ParseNumberText(text_));
    case Type::kBoolean: return integer_ != 0 ? -1 : 0;
  }
  Throw(errors::kTypeMismatch);
}

std::string DateText(double ole_date) {
  if (!std::isfinite(ole_date) || std::fabs(ole_date) > 3e6) return NumberText(ole_date);
  const jet::OleDateParts parts = jet::SplitOleDate(ole_date);
  const int64_t day = parts.day;
  const int64_t seconds = parts.seconds;
  if (day == 0) return FormatTime(seconds);
  if (seconds == 0) return FormatDay(day);
  return FormatDay(day) + " " + FormatTime(seconds);
}

std::string NumberText(double value) {
  if (value == 0) return "0";  // also for -0
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return buffer;
}

}  // namespace ado
