// Reading dates; see date_text.h.
#include "tools/jetdb/date_text.h"

#include <cstddef>
#include <cstdint>

#include "jet/ole_date.h"
#include "strings/ascii.h"

namespace jetdb {
namespace {

constexpr int kSecondsPerDay = 86400;

// Reads exactly `count` decimal digits at text[pos].
bool ReadFixedDigits(std::string_view text, size_t pos, size_t count, int* value) {
  if (pos + count > text.size()) return false;
  int result = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (!strings::IsAsciiDigit(text[i])) return false;
    result = result * 10 + (text[i] - '0');
  }
  *value = result;
  return true;
}

}  // namespace

bool ParseOleDate(std::string_view text, double* ole_date) {
  // YYYY-MM-DD, then optionally T or blank and HH:MM:SS.
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ReadFixedDigits(text, 0, 4, &year) || text.size() < 10 || text[4] != '-' ||
      !ReadFixedDigits(text, 5, 2, &month) || text[7] != '-' ||
      !ReadFixedDigits(text, 8, 2, &day)) {
    return false;
  }
  if (text.size() != 10) {
    if (text.size() != 19 || (text[10] != 'T' && text[10] != ' ') ||
        !ReadFixedDigits(text, 11, 2, &hour) || text[13] != ':' ||
        !ReadFixedDigits(text, 14, 2, &minute) || text[16] != ':' ||
        !ReadFixedDigits(text, 17, 2, &second)) {
      return false;
    }
  }
  if (year < 1 || month < 1 || month > 12 || day < 1 ||
      static_cast<unsigned>(day) > jet::DaysInMonth(year, static_cast<unsigned>(month)) ||
      hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  const int64_t ole_day =
      jet::OleDayFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const double time = static_cast<double>(hour * 3600 + minute * 60 + second) / kSecondsPerDay;
  *ole_date = jet::JoinOleDate(ole_day, time);
  return true;
}

}  // namespace jetdb
