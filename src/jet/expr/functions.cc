// The functions of Access expressions; see functions.h.
#include "jet/expr/functions.h"

#include <cmath>
#include <cstring>
#include <random>

#include "jet/expr/values.h"
#include "jet/ole_date.h"
#include "strings/ascii.h"
#include "strings/utf8.h"

namespace jet::expr {

using strings::AppendUtf8;
using strings::AsciiEqualsNoCase;
using strings::ByteOffsetOfCharacter;
using strings::CharacterCount;
using strings::Latin1CompareNoCase;
using strings::Latin1Lower;
using strings::Latin1Upper;
using strings::NextCodePoint;
namespace {

using Args = std::vector<Variant>;
using T = Variant::Type;

Status InvalidArgument() { return Fail(5, "Invalid procedure call or argument"); }

bool HasNull(const Args& args) {
  for (const Variant& a : args) {
    if (a.is_null()) return true;
  }
  return false;
}

Status LongArg(const Variant& value, int64_t* n) {
  if (value.is_null()) return InvalidUseOfNull();
  return ToLong(value, n);
}

Status DateArg(const Variant& value, double* ole) {
  if (value.is_null()) return InvalidUseOfNull();
  return ToDate(value, ole);
}

struct Parts {
  CivilDate date;
  int64_t seconds;  // of the day
};

Parts Split(double ole) {
  const OleDateParts parts = SplitOleDate(ole);
  return {CivilFromOleDay(parts.day), parts.seconds};
}

double Join(int64_t day, int64_t seconds) {
  return JoinOleDate(day, static_cast<double>(seconds) / 86400.0);
}

// Year, month (any whole number, counted on from the year) and day (any,
// counted on from the month's first) as an OLE day, as DateSerial takes them.
Status SerialDay(int64_t year, int64_t month, int64_t day, int64_t* out) {
  if (year >= 0 && year < 30) year += 2000;
  else if (year >= 30 && year < 100) year += 1900;
  const int64_t months = year * 12 + (month - 1);
  const int64_t y = months >= 0 ? months / 12 : (months - 11) / 12;
  const auto m = static_cast<unsigned>(months - y * 12 + 1);
  if (y < 100 || y > 9999) return InvalidArgument();
  *out = OleDayFromCivil(y, m, 1) + day - 1;
  if (*out < -657434 || *out >= 2958466) return InvalidArgument();
  return Status::OK();
}

Variant Date(double ole) { return Variant::Real(T::kDate, ole); }
Variant Int(int64_t n) { return WholeNumber(n); }

Status DatePart(const Args& a, Variant* out, int64_t (*part)(const Parts&)) {
  if (a[0].is_null()) return Status::OK();
  double ole = 0;
  JET_RETURN_IF_ERROR(DateArg(a[0], &ole));
  *out = Variant::Integer(T::kInteger, part(Split(ole)));
  return Status::OK();
}

Status Weekday(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return Status::OK();
  double ole = 0;
  JET_RETURN_IF_ERROR(DateArg(a[0], &ole));
  int64_t first = 1;
  if (a.size() > 1) JET_RETURN_IF_ERROR(LongArg(a[1], &first));
  if (first == 0) first = 1;
  if (first < 1 || first > 7) return InvalidArgument();
  const int64_t day = static_cast<int64_t>(std::floor(ole));
  const int64_t sunday_based = ((day % 7) + 7 + 6) % 7 + 1;  // day 0 was a Saturday
  *out = Variant::Integer(T::kInteger, (sunday_based - first + 7) % 7 + 1);
  return Status::OK();
}

Status DateSerial(const Args& a, const EvalInput&, Variant* out) {
  int64_t y = 0, m = 0, d = 0, day = 0;
  JET_RETURN_IF_ERROR(LongArg(a[0], &y));
  JET_RETURN_IF_ERROR(LongArg(a[1], &m));
  JET_RETURN_IF_ERROR(LongArg(a[2], &d));
  JET_RETURN_IF_ERROR(SerialDay(y, m, d, &day));
  *out = Date(static_cast<double>(day));
  return Status::OK();
}

Status TimeSerial(const Args& a, const EvalInput&, Variant* out) {
  int64_t h = 0, m = 0, s = 0;
  JET_RETURN_IF_ERROR(LongArg(a[0], &h));
  JET_RETURN_IF_ERROR(LongArg(a[1], &m));
  JET_RETURN_IF_ERROR(LongArg(a[2], &s));
  const int64_t seconds = h * 3600 + m * 60 + s;
  const int64_t day = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  *out = Date(Join(day, seconds - day * 86400));
  return Status::OK();
}

// The interval words of DateAdd and DateDiff.
enum class Interval { kYear, kQuarter, kMonth, kDay, kWeek, kWeekOfYear, kHour, kMinute, kSecond };

Status IntervalOf(const Variant& value, Interval* out) {
  if (value.type != T::kText) return InvalidArgument();
  static constexpr std::pair<std::string_view, Interval> kWords[] = {
      {"yyyy", Interval::kYear},     {"q", Interval::kQuarter}, {"m", Interval::kMonth},
      {"y", Interval::kDay},         {"d", Interval::kDay},     {"w", Interval::kWeek},
      {"ww", Interval::kWeekOfYear}, {"h", Interval::kHour},    {"n", Interval::kMinute},
      {"s", Interval::kSecond}};
  for (const auto& [word, interval] : kWords) {
    if (AsciiEqualsNoCase(value.bytes, word)) {
      *out = interval;
      return Status::OK();
    }
  }
  return InvalidArgument();
}

Status DateAdd(const Args& a, const EvalInput&, Variant* out) {
  if (a[1].is_null() || a[2].is_null()) return Status::OK();
  Interval interval = Interval::kDay;
  JET_RETURN_IF_ERROR(IntervalOf(a[0], &interval));
  int64_t n = 0;
  double ole = 0;
  JET_RETURN_IF_ERROR(LongArg(a[1], &n));
  JET_RETURN_IF_ERROR(DateArg(a[2], &ole));
  const Parts p = Split(ole);
  const int64_t day = OleDayFromCivil(p.date.year, p.date.month, p.date.day);
  int64_t months = 0, days = 0, seconds = 0;
  switch (interval) {
    case Interval::kYear: months = 12 * n; break;
    case Interval::kQuarter: months = 3 * n; break;
    case Interval::kMonth: months = n; break;
    case Interval::kDay:
    case Interval::kWeek: days = n; break;
    case Interval::kWeekOfYear: days = 7 * n; break;
    case Interval::kHour: seconds = 3600 * n; break;
    case Interval::kMinute: seconds = 60 * n; break;
    case Interval::kSecond: seconds = n; break;
  }
  int64_t result = day + days;
  if (months != 0) {
    // The day of the month stays, cut to the new month's last day.
    int64_t first = 0;
    JET_RETURN_IF_ERROR(SerialDay(p.date.year, p.date.month + months, 1, &first));
    const CivilDate target = CivilFromOleDay(first);
    result = first + std::min<int64_t>(p.date.day, DaysInMonth(target.year, target.month)) - 1;
  }
  int64_t total = p.seconds + seconds;
  const int64_t carry = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
  result += carry;
  total -= carry * 86400;
  if (result < -657434 || result >= 2958466) return InvalidArgument();
  *out = Date(Join(result, total));
  return Status::OK();
}

Status DateDiff(const Args& a, const EvalInput&, Variant* out) {
  if (a[1].is_null() || a[2].is_null()) return Status::OK();
  Interval interval = Interval::kDay;
  JET_RETURN_IF_ERROR(IntervalOf(a[0], &interval));
  double x = 0, y = 0;
  JET_RETURN_IF_ERROR(DateArg(a[1], &x));
  JET_RETURN_IF_ERROR(DateArg(a[2], &y));
  const Parts p = Split(x), q = Split(y);
  const int64_t dx = OleDayFromCivil(p.date.year, p.date.month, p.date.day);
  const int64_t dy = OleDayFromCivil(q.date.year, q.date.month, q.date.day);
  int64_t n = 0;
  switch (interval) {
    case Interval::kYear: n = q.date.year - p.date.year; break;
    case Interval::kQuarter:
      n = (q.date.year - p.date.year) * 4 + (q.date.month - 1) / 3 - (p.date.month - 1) / 3;
      break;
    case Interval::kMonth:
      n = (q.date.year - p.date.year) * 12 + static_cast<int64_t>(q.date.month) - p.date.month;
      break;
    case Interval::kDay: n = dy - dx; break;
    case Interval::kWeek: n = (dy - dx) / 7; break;
    case Interval::kWeekOfYear: {
      // Sundays passed: the weeks counted from day 1, 12/31/1899, a Sunday.
      auto week = [](int64_t d) { return d >= 1 ? (d - 1) / 7 : -((7 - d) / 7); };
      n = week(dy) - week(dx);
      break;
    }
    case Interval::kHour:
    case Interval::kMinute:
    case Interval::kSecond: {
      const int64_t unit = interval == Interval::kHour     ? 3600
                           : interval == Interval::kMinute ? 60
                                                           : 1;
      auto count = [&](int64_t d, int64_t s) {
        const int64_t t = d * 86400 + s;
        return t >= 0 ? t / unit : -((-t + unit - 1) / unit);
      };
      n = count(dy, q.seconds) - count(dx, p.seconds);
      break;
    }
  }
  *out = Variant::Integer(T::kLong, n);
  return Status::OK();
}

// The text of an argument (numbers and dates as & writes them).
std::string TextOf(const Variant& value) { return VariantText(value); }

Status Len(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return Status::OK();
  *out = Variant::Integer(T::kLong, static_cast<int64_t>(CharacterCount(TextOf(a[0]))));
  return Status::OK();
}

Status Count(const Variant& value, int64_t* n) {
  JET_RETURN_IF_ERROR(LongArg(value, n));
  return *n < 0 ? InvalidArgument() : Status::OK();
}

Status Left(const Args& a, const EvalInput&, Variant* out) {
  int64_t n = 0;
  JET_RETURN_IF_ERROR(Count(a[1], &n));
  if (a[0].is_null()) return Status::OK();
  const std::string text = TextOf(a[0]);
  *out = Variant::Text(text.substr(0, ByteOffsetOfCharacter(text, static_cast<size_t>(n))));
  return Status::OK();
}

Status Right(const Args& a, const EvalInput&, Variant* out) {
  int64_t n = 0;
  JET_RETURN_IF_ERROR(Count(a[1], &n));
  if (a[0].is_null()) return Status::OK();
  const std::string text = TextOf(a[0]);
  const size_t chars = CharacterCount(text);
  const size_t skip = static_cast<size_t>(n) >= chars ? 0 : chars - static_cast<size_t>(n);
  *out = Variant::Text(text.substr(ByteOffsetOfCharacter(text, skip)));
  return Status::OK();
}

Status Mid(const Args& a, const EvalInput&, Variant* out) {
  int64_t start = 0, n = -1;
  JET_RETURN_IF_ERROR(LongArg(a[1], &start));
  if (start < 1) return InvalidArgument();
  if (a.size() > 2) JET_RETURN_IF_ERROR(Count(a[2], &n));
  if (a[0].is_null()) return Status::OK();
  const std::string text = TextOf(a[0]);
  const size_t begin = ByteOffsetOfCharacter(text, static_cast<size_t>(start - 1));
  const std::string rest = text.substr(begin);
  *out = Variant::Text(n < 0 ? rest
                             : rest.substr(0, ByteOffsetOfCharacter(rest, static_cast<size_t>(n))));
  return Status::OK();
}

Status Trimmed(const Args& a, Variant* out, bool left, bool right) {
  if (a[0].is_null()) return Status::OK();
  std::string text = TextOf(a[0]);
  size_t begin = 0, end = text.size();
  while (left && begin < end && text[begin] == ' ') ++begin;
  while (right && end > begin && text[end - 1] == ' ') --end;
  *out = Variant::Text(text.substr(begin, end - begin));
  return Status::OK();
}

Status Cased(const Args& a, Variant* out, bool upper) {
  if (a[0].is_null()) return Status::OK();
  const std::string text = TextOf(a[0]);
  std::string result;
  for (size_t i = 0; i < text.size();) {
    const uint32_t cp = NextCodePoint(text, &i);
    AppendUtf8(upper ? Latin1Upper(cp) : Latin1Lower(cp), &result);
  }
  *out = Variant::Text(std::move(result));
  return Status::OK();
}

Status InStr(const Args& a, const EvalInput&, Variant* out) {
  int64_t start = 1;
  size_t first = 0;
  if (a.size() == 3) {
    JET_RETURN_IF_ERROR(LongArg(a[0], &start));
    if (start < 1) return InvalidArgument();
    first = 1;
  }
  if (a[first].is_null() || a[first + 1].is_null()) return Status::OK();
  const std::string haystack = TextOf(a[first]), needle = TextOf(a[first + 1]);
  const size_t chars = CharacterCount(haystack), needle_chars = CharacterCount(needle);
  int64_t found = 0;
  if (static_cast<size_t>(start) <= chars + 1) {
    for (size_t at = static_cast<size_t>(start - 1); at + needle_chars <= chars; ++at) {
      const size_t begin = ByteOffsetOfCharacter(haystack, at);
      const std::string_view rest = std::string_view(haystack).substr(begin);
      const size_t length = ByteOffsetOfCharacter(rest, needle_chars);
      if (Latin1CompareNoCase(rest.substr(0, length), needle) == 0) {
        found = static_cast<int64_t>(at + 1);
        break;
      }
    }
  }
  *out = Variant::Integer(T::kLong, found);
  return Status::OK();
}

Status Replace(const Args& a, const EvalInput&, Variant* out) {
  if (HasNull(a)) return a[0].is_null() ? Status::OK() : InvalidUseOfNull();
  const std::string text = TextOf(a[0]), find = TextOf(a[1]), with = TextOf(a[2]);
  if (find.empty()) {
    *out = Variant::Text(text);
    return Status::OK();
  }
  std::string result;
  size_t at = 0;
  for (size_t hit; (hit = text.find(find, at)) != std::string::npos; at = hit + find.size()) {
    result.append(text, at, hit - at).append(with);
  }
  result.append(text, at, std::string::npos);
  *out = Variant::Text(std::move(result));
  return Status::OK();
}

Status Space(const Args& a, const EvalInput&, Variant* out) {
  int64_t n = 0;
  JET_RETURN_IF_ERROR(Count(a[0], &n));
  if (n > 65535) return InvalidArgument();
  *out = Variant::Text(std::string(static_cast<size_t>(n), ' '));
  return Status::OK();
}

Status Chr(const Args& a, const EvalInput&, Variant* out) {
  int64_t n = 0;
  JET_RETURN_IF_ERROR(LongArg(a[0], &n));
  if (n < 0 || n > 255) return InvalidArgument();
  std::string text;
  AppendUtf8(static_cast<uint32_t>(n), &text);
  *out = Variant::Text(std::move(text));
  return Status::OK();
}

Status Asc(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return InvalidUseOfNull();
  const std::string text = TextOf(a[0]);
  if (text.empty()) return InvalidArgument();
  size_t i = 0;
  const uint32_t cp = NextCodePoint(text, &i);
  *out = Variant::Integer(T::kInteger, cp <= 255 ? cp : '?');
  return Status::OK();
}

Status IsNullFn(const Args& a, const EvalInput&, Variant* out) {
  *out = Variant::Boolean(a[0].is_null());
  return Status::OK();
}

Status IsNumeric(const Args& a, const EvalInput&, Variant* out) {
  double d = 0;
  *out = Variant::Boolean(a[0].IsNumeric() ||
                          (a[0].type == T::kText && ParseNumberText(a[0].bytes, &d)));
  return Status::OK();
}

Status IsDate(const Args& a, const EvalInput&, Variant* out) {
  double d = 0;
  *out = Variant::Boolean(a[0].type == T::kDate ||
                          (a[0].type == T::kText && ParseDateTimeText(a[0].bytes, &d)));
  return Status::OK();
}

Status Nz(const Args& a, const EvalInput&, Variant* out) {
  *out = !a[0].is_null() ? a[0] : a.size() > 1 ? a[1] : Variant::Text("");
  return Status::OK();
}

// Abs, Int, Fix, Sgn keep a whole number whole.
Status Numeric(const Args& a, Variant* out, double (*f)(double)) {
  if (a[0].is_null()) return Status::OK();
  Variant n;
  JET_RETURN_IF_ERROR(ToNumber(a[0], &n));
  if (IsWhole(n.type)) {
    *out = Int(static_cast<int64_t>(f(static_cast<double>(n.integer))));
    return Status::OK();
  }
  if (n.type == T::kCurrency) {
    const double v = f(static_cast<double>(n.integer) / 10000.0) * 10000.0;
    *out = Variant::Integer(T::kCurrency, static_cast<int64_t>(std::nearbyint(v)));
    return Status::OK();
  }
  *out = Variant::Real(n.type == T::kDate     ? T::kDate
                       : n.type == T::kSingle ? T::kSingle
                                              : T::kDouble,
                       f(n.real));
  return Status::OK();
}

double Sign(double v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

Status Round(const Args& a, const EvalInput&, Variant* out) {
  int64_t places = 0;
  if (a.size() > 1) JET_RETURN_IF_ERROR(Count(a[1], &places));
  if (a[0].is_null()) return Status::OK();
  if (places > 15) return InvalidArgument();
  Variant n;
  JET_RETURN_IF_ERROR(ToNumber(a[0], &n));
  if (IsWhole(n.type)) {
    *out = n;
    return Status::OK();
  }
  const double scale = std::pow(10.0, static_cast<double>(places));
  const double v = std::nearbyint(NumberOf(n) * scale) / scale;
  *out = n.type == T::kCurrency
             ? Variant::Integer(T::kCurrency, static_cast<int64_t>(std::nearbyint(v * 10000.0)))
             : Variant::Real(n.type == T::kSingle ? T::kSingle : T::kDouble, v);
  return Status::OK();
}

Status Sqr(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return Status::OK();
  double d = 0;
  JET_RETURN_IF_ERROR(ToDouble(a[0], &d));
  if (d < 0) return InvalidArgument();
  *out = Variant::Real(T::kDouble, std::sqrt(d));
  return Status::OK();
}

Status Val(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return InvalidUseOfNull();
  std::string text;
  for (char c : TextOf(a[0])) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') text.push_back(c);
  }
  // The longest start of the text that is a number.
  double best = 0;
  for (size_t n = text.size(); n > 0; --n) {
    if (ParseNumberText(text.substr(0, n), &best)) break;
    best = 0;
  }
  *out = Variant::Real(T::kDouble, best);
  return Status::OK();
}

Status Str(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return InvalidUseOfNull();
  Variant n;
  JET_RETURN_IF_ERROR(ToNumber(a[0], &n));
  const std::string text = VariantText(n);
  *out = Variant::Text(text[0] == '-' ? text : " " + text);
  return Status::OK();
}

// CByte, CInt, CLng: rounded half to even, in the type's range.
Status ToWhole(const Variant& value, T type, int64_t low, int64_t high, Variant* out) {
  if (value.is_null()) return InvalidUseOfNull();
  double d = 0;
  JET_RETURN_IF_ERROR(ToDouble(value, &d));
  d = std::nearbyint(d);
  if (!(d >= static_cast<double>(low) && d <= static_cast<double>(high))) return Overflow();
  *out = Variant::Integer(type, static_cast<int64_t>(d));
  return Status::OK();
}

Status CDbl(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return InvalidUseOfNull();
  double d = 0;
  JET_RETURN_IF_ERROR(ToDouble(a[0], &d));
  *out = Variant::Real(T::kDouble, d);
  return Status::OK();
}

Status CSng(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return InvalidUseOfNull();
  double d = 0;
  JET_RETURN_IF_ERROR(ToDouble(a[0], &d));
  if (std::fabs(d) > 3.402823466e38) return Overflow();
  *out = Variant::Real(T::kSingle, static_cast<float>(d));
  return Status::OK();
}

Status CCur(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return InvalidUseOfNull();
  Variant n;
  JET_RETURN_IF_ERROR(ToNumber(a[0], &n));
  if (n.type == T::kCurrency) {
    *out = n;
    return Status::OK();
  }
  const double v = std::nearbyint(NumberOf(n) * 10000.0);
  if (!(std::fabs(v) < 9.2e18)) return Overflow();
  *out = Variant::Integer(T::kCurrency, static_cast<int64_t>(v));
  return Status::OK();
}

Status CStr(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return InvalidUseOfNull();
  *out = Variant::Text(TextOf(a[0]));
  return Status::OK();
}

Status CBool(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return InvalidUseOfNull();
  if (a[0].type == T::kText) {
    if (AsciiEqualsNoCase(a[0].bytes, "True") || AsciiEqualsNoCase(a[0].bytes, "False")) {
      *out = Variant::Boolean(AsciiEqualsNoCase(a[0].bytes, "True"));
      return Status::OK();
    }
  }
  double d = 0;
  JET_RETURN_IF_ERROR(ToDouble(a[0], &d));
  *out = Variant::Boolean(d != 0);
  return Status::OK();
}

Status CDate(const Args& a, const EvalInput&, Variant* out) {
  if (a[0].is_null()) return InvalidUseOfNull();
  double ole = 0;
  JET_RETURN_IF_ERROR(ToDate(a[0], &ole));
  *out = Date(ole);
  return Status::OK();
}

Status GenGuid(const Args&, const EvalInput&, Variant* out) {
  std::random_device random;
  std::array<uint8_t, 16> guid{};
  for (size_t b = 0; b < guid.size(); b += 4) {
    const uint32_t r = random();
    std::memcpy(guid.data() + b, &r, 4);
  }
  guid[7] = static_cast<uint8_t>((guid[7] & 0x0F) | 0x40);  // version 4, stored little-endian
  guid[8] = static_cast<uint8_t>((guid[8] & 0x3F) | 0x80);
  out->type = T::kGuid;
  out->bytes.assign(reinterpret_cast<const char*>(guid.data()), guid.size());
  return Status::OK();
}

#define JET_FN(...)                                                \
  [](const Args& a, const EvalInput& in, Variant* out) -> Status { \
    (void)a;                                                       \
    (void)in;                                                      \
    __VA_ARGS__;                                                   \
  }

constexpr Function kFunctions[] = {
    {"Date", 0, 0, JET_FN(*out = Date(std::floor(in.now)); return Status::OK())},
    {"Now", 0, 0, JET_FN(*out = Date(in.now); return Status::OK())},
    {"Time", 0, 0, JET_FN(*out = Date(in.now - std::floor(in.now)); return Status::OK())},
    {"Year", 1, 1, JET_FN(return DatePart(a, out, [](const Parts& p) { return p.date.year; }))},
    {"Month", 1, 1,
     JET_FN(return DatePart(a, out, [](const Parts& p) { return int64_t{p.date.month}; }))},
    {"Day", 1, 1,
     JET_FN(return DatePart(a, out, [](const Parts& p) { return int64_t{p.date.day}; }))},
    {"Hour", 1, 1,
     JET_FN(return DatePart(a, out, [](const Parts& p) { return p.seconds / 3600; }))},
    {"Minute", 1, 1,
     JET_FN(return DatePart(a, out, [](const Parts& p) { return p.seconds / 60 % 60; }))},
    {"Second", 1, 1,
     JET_FN(return DatePart(a, out, [](const Parts& p) { return p.seconds % 60; }))},
    {"Weekday", 1, 2, Weekday},
    {"DateSerial", 3, 3, DateSerial},
    {"TimeSerial", 3, 3, TimeSerial},
    {"DateAdd", 3, 3, DateAdd},
    {"DateDiff", 3, 3, DateDiff},
    {"DateValue", 1, 1,
     JET_FN(if (a[0].is_null()) return Status::OK(); double d = 0;
            JET_RETURN_IF_ERROR(DateArg(a[0], &d)); *out = Date(std::trunc(d));
            return Status::OK())},
    {"TimeValue", 1, 1,
     JET_FN(if (a[0].is_null()) return Status::OK(); double d = 0;
            JET_RETURN_IF_ERROR(DateArg(a[0], &d)); *out = Date(std::fabs(d - std::trunc(d)));
            return Status::OK())},
    {"Len", 1, 1, Len},
    {"Left", 2, 2, Left},
    {"Right", 2, 2, Right},
    {"Mid", 2, 3, Mid},
    {"Trim", 1, 1, JET_FN(return Trimmed(a, out, true, true))},
    {"LTrim", 1, 1, JET_FN(return Trimmed(a, out, true, false))},
    {"RTrim", 1, 1, JET_FN(return Trimmed(a, out, false, true))},
    {"UCase", 1, 1, JET_FN(return Cased(a, out, true))},
    {"LCase", 1, 1, JET_FN(return Cased(a, out, false))},
    {"InStr", 2, 3, InStr},
    {"Replace", 3, 3, Replace},
    {"Space", 1, 1, Space},
    {"Chr", 1, 1, Chr},
    {"Asc", 1, 1, Asc},
    {"IsNull", 1, 1, IsNullFn},
    {"IsNumeric", 1, 1, IsNumeric},
    {"IsDate", 1, 1, IsDate},
    {"Nz", 1, 2, Nz},
    {"IIf", 3, 3, nullptr},
    {"Abs", 1, 1, JET_FN(return Numeric(a, out, [](double v) { return std::fabs(v); }))},
    {"Int", 1, 1, JET_FN(return Numeric(a, out, [](double v) { return std::floor(v); }))},
    {"Fix", 1, 1, JET_FN(return Numeric(a, out, [](double v) { return std::trunc(v); }))},
    {"Sgn", 1, 1,
     JET_FN(if (a[0].is_null()) return Status::OK(); double d = 0;
            JET_RETURN_IF_ERROR(ToDouble(a[0], &d));
            *out = Variant::Integer(T::kInteger, static_cast<int64_t>(Sign(d)));
            return Status::OK())},
    {"Round", 1, 2, Round},
    {"Sqr", 1, 1, Sqr},
    {"Val", 1, 1, Val},
    {"Str", 1, 1, Str},
    {"CByte", 1, 1, JET_FN(return ToWhole(a[0], T::kByte, 0, 255, out))},
    {"CInt", 1, 1, JET_FN(return ToWhole(a[0], T::kInteger, -32768, 32767, out))},
    {"CLng", 1, 1, JET_FN(return ToWhole(a[0], T::kLong, -2147483648LL, 2147483647LL, out))},
    {"CDbl", 1, 1, CDbl},
    {"CSng", 1, 1, CSng},
    {"CCur", 1, 1, CCur},
    {"CStr", 1, 1, CStr},
    {"CBool", 1, 1, CBool},
    {"CDate", 1, 1, CDate},
    {"CVDate", 1, 1, JET_FN(if (a[0].is_null()) return Status::OK(); return CDate(a, in, out))},
    {"GenGUID", 0, 0, GenGuid},
};

#undef JET_FN

}  // namespace

const Function* FindFunction(std::string_view name) {
  for (const Function& f : kFunctions) {
    if (AsciiEqualsNoCase(name, f.name)) return &f;
  }
  return nullptr;
}

}  // namespace jet::expr
