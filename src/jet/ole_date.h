// Day numbers of OLE dates and the calendar dates they name. An OLE date
// (the Date/Time column's value) counts days from 1899-12-30, day 0, in the
// proleptic Gregorian calendar; its fraction is the time of day. Whole days
// are counted in 400-year cycles of 146,097 days that start on 1 March, so
// that the leap day ends each cycle year.
//
// Both conversions are exact inverses for every day whose count fits, far
// beyond the years 1..9999. Kept inline: the export writes a date per value.
#pragma once

#include <cmath>
#include <cstdint>

namespace jet {

struct CivilDate {
  int64_t year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
};

// The OLE day number of 1970-01-01, where system clocks count from.
inline constexpr int64_t kUnixEpochOleDay = 25569;
// Days from 0000-03-01, where the cycles start, to 1899-12-30.
inline constexpr int64_t kOleEpochFromCycleStart = 693899;

constexpr bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// REQUIRES: 1 <= month <= 12.
constexpr unsigned DaysInMonth(int64_t year, unsigned month) {
  constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The calendar date of an OLE day number.
constexpr CivilDate CivilFromOleDay(int64_t ole_day) {
  const int64_t days = ole_day + kOleEpochFromCycleStart;
  const int64_t cycle = (days >= 0 ? days : days - 146096) / 146097;
  // Inside the cycle every count is small and not negative: unsigned 32-bit
  // division by a constant is the cheapest there is.
  const auto day_of_cycle = static_cast<uint32_t>(days - cycle * 146097);  // 0..146096
  const uint32_t year_of_cycle =
      (day_of_cycle - day_of_cycle / 1460 + day_of_cycle / 36524 - day_of_cycle / 146096) / 365;
  const uint32_t day_of_year =
      day_of_cycle - (365 * year_of_cycle + year_of_cycle / 4 - year_of_cycle / 100);  // 0..365
  const uint32_t month_from_march = (5 * day_of_year + 2) / 153;                       // 0..11
  const unsigned day = day_of_year - (153 * month_from_march + 2) / 5 + 1;
  const unsigned month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
  const int64_t year = year_of_cycle + cycle * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

// The OLE day number of a calendar date. REQUIRES: 1 <= month <= 12; a day
// past the month's end counts on into the next.
constexpr int64_t OleDayFromCivil(int64_t year, unsigned month, unsigned day) {
  const int64_t y = year - (month <= 2 ? 1 : 0);
  const int64_t cycle = (y >= 0 ? y : y - 399) / 400;
  const int64_t year_of_cycle = y - cycle * 400;                           // 0..399
  const int64_t month_from_march = month > 2 ? month - 3 : month + 9;      // 0..11
  const int64_t day_of_year = (153 * month_from_march + 2) / 5 + day - 1;  // 0..365
  const int64_t day_of_cycle =
      year_of_cycle * 365 + year_of_cycle / 4 - year_of_cycle / 100 + day_of_year;  // 0..146096
  return cycle * 146097 + day_of_cycle - kOleEpochFromCycleStart;
}

// An OLE date taken apart into its day and its time of day in whole seconds.
struct OleDateParts {
  int64_t day;       // OLE day number
  uint32_t seconds;  // 0..86399, from that day's midnight
};

// The whole part names the day in either direction from day 0; the absolute
// value of the fraction is the time of that day from its midnight, whatever
// the sign (-1.25 is 1899-12-29 06:00, and -0.5 and 0.5 are both noon of
// 1899-12-30). Seconds round half up, and a time that rounds to 24:00:00 is
// midnight of the next calendar day, so the nearest whole second wins for
// either sign: 40179.99999999 is 2010-01-02 00:00, -1.99999999 (1899-12-29,
// a moment before midnight) is 1899-12-30 00:00, -0.99999999 is 1899-12-31.
// REQUIRES: ole_date is finite and |ole_date| < 2^62.
inline OleDateParts SplitOleDate(double ole_date) {
  constexpr uint32_t kSecondsPerDay = 86400;
  const double whole = std::trunc(ole_date);
  int64_t day = static_cast<int64_t>(whole);
  const double exact = std::fabs(ole_date - whole) * kSecondsPerDay;  // both steps exact
  auto seconds = static_cast<uint32_t>(exact);
  if (exact - seconds >= 0.5) ++seconds;
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++day;
  }
  return {day, seconds};
}

// The OLE date of day `day` at `time_of_day`, a fraction of a day in
// [0, 1): SplitOleDate's inverse. The fraction counts away from day 0 so
// that the whole part stays the day: day -1 at 06:00 is -1.25.
inline double JoinOleDate(int64_t day, double time_of_day) {
  const auto whole = static_cast<double>(day);
  return day >= 0 ? whole + time_of_day : whole - time_of_day;
}

}  // namespace jet
