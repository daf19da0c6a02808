// Day numbers and calendar dates: known days, and every day of twelve
// thousand years following the one before it both ways.
#include "jet/ole_date.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

TEST(OleDateTest, KnownDays) {
  EXPECT_EQ(OleDayFromCivil(1899, 12, 30), 0);
  EXPECT_EQ(OleDayFromCivil(1970, 1, 1), kUnixEpochOleDay);
  EXPECT_EQ(OleDayFromCivil(2010, 1, 1), 40179);
  EXPECT_EQ(OleDayFromCivil(1, 1, 1), -693593);
  EXPECT_EQ(OleDayFromCivil(9999, 12, 31), 2958465);
  const CivilDate before = CivilFromOleDay(-1);
  EXPECT_EQ(before.year, 1899);
  EXPECT_EQ(before.month, 12u);
  EXPECT_EQ(before.day, 29u);
}

// The time rounds to the nearest second; 24:00:00 is the next calendar
// day's midnight, also for negative days, whose time still runs forward.
TEST(OleDateTest, SplitRoundsToTheNearestSecondAndCarriesMidnightIntoTheNextDay) {
  struct Case {
    double ole;
    int64_t day;
    uint32_t seconds;
  };
  const Case cases[] = {
      {40179.99999999, 40180, 0},
      {40179.5, 40179, 43200},
      {-0.99999999, 1, 0},
      {-1.99999999, 0, 0},
      {-1.25, -1, 21600},
      {-0.5, 0, 43200},
      {0.0, 0, 0},
      {-0.0000001, 0, 0},
      {40179.99998, 40179, 86398},
  };
  for (const Case& c : cases) {
    const OleDateParts parts = SplitOleDate(c.ole);
    EXPECT_EQ(parts.day, c.day) << c.ole;
    EXPECT_EQ(parts.seconds, c.seconds) << c.ole;
  }
}

TEST(OleDateTest, LeapYearsFollowTheGregorianRule) {
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(2010));
  EXPECT_TRUE(IsLeapYear(-4));
  EXPECT_EQ(DaysInMonth(2010, 2), 28u);
  EXPECT_EQ(DaysInMonth(2000, 2), 29u);
  EXPECT_EQ(DaysInMonth(2010, 12), 31u);
}

TEST(OleDateTest, EveryDayFollowsTheOneBeforeAndReadsBack) {
  const int64_t first = OleDayFromCivil(-2000, 1, 1);
  const int64_t last = OleDayFromCivil(10000, 12, 31);
  CivilDate expected = CivilFromOleDay(first);
  ASSERT_EQ(expected.year, -2000);
  for (int64_t day = first; day <= last; ++day) {
    const CivilDate date = CivilFromOleDay(day);
    ASSERT_TRUE(date.year == expected.year && date.month == expected.month &&
                date.day == expected.day)
        << "day " << day;
    ASSERT_EQ(OleDayFromCivil(date.year, date.month, date.day), day);
    if (++expected.day > DaysInMonth(expected.year, expected.month)) {
      expected.day = 1;
      if (++expected.month > 12) expected.month = 1, ++expected.year;
    }
  }
}

}  // namespace
}  // namespace jet
