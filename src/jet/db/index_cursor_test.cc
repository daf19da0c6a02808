// Range lookups through indexes agree with a scan filtered by hand, on the
// 40-year calendar: equality on a date key, half-open and closed ranges,
// a leading-column prefix of a two-column key, and bounds past either end.
#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/testing/test_util.h"
#include "support/shared_copy.h"

namespace jet {
namespace {

using tessaly::testing::SharedFileCopy;
using testing::ColumnIndex;

const IndexDef* FindIndexOn(const TableDef& table, const std::string& first_column,
                            size_t columns) {
  for (const IndexDef& index : table.indexes) {
    if (index.columns.size() == columns && index.columns[0].column_name == first_column)
      return &index;
  }
  return nullptr;
}

// (row id, value of `column`) of every row the cursor gives.
std::multiset<std::tuple<uint32_t, int, double>> Collect(TableCursor& cursor, size_t column) {
  std::multiset<std::tuple<uint32_t, int, double>> rows;
  Row row;
  Status s;
  while (cursor.Next(&row, &s))
    rows.insert({row.page, row.slot,
                 row.values[column].kind() == Value::Kind::kDateTime
                     ? row.values[column].real()
                     : static_cast<double>(row.values[column].integer())});
  EXPECT_TRUE(s.ok()) << s.ToString();
  return rows;
}

struct RangeCase {
  const char* table;
  const char* column;  // the first column of a one-column index
  double low;          // NaN: open
  bool low_inclusive;
  double high;
  bool high_inclusive;
};

class SeekRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(SeekRangeTest, GivesExactlyTheRowsOfAFilteredScan) {
  const RangeCase& c = GetParam();
  static SharedFileCopy* copy = new SharedFileCopy("fixtures", "tessdata-large.mdb");
  auto db = Database::Open(copy->path().string());
  ASSERT_TRUE(db.ok());
  auto table = (*db)->GetTable(c.table);
  ASSERT_TRUE(table.ok());
  const IndexDef* index = FindIndexOn(*table, c.column, 1);
  ASSERT_NE(index, nullptr);
  const size_t column = ColumnIndex(*table, c.column);
  const bool is_date = table->columns[column].type == ColumnType::kDateTime;
  auto value = [&](double v) {
    return is_date ? Value::Real(Value::Kind::kDateTime, v)
                   : Value::Integer(Value::Kind::kLong, static_cast<int64_t>(v));
  };
  KeyBound low{{value(c.low)}, c.low_inclusive}, high{{value(c.high)}, c.high_inclusive};
  auto cursor = (*db)->SeekRange(*table, *index, std::isnan(c.low) ? nullptr : &low,
                                 std::isnan(c.high) ? nullptr : &high);
  ASSERT_TRUE(cursor.ok()) << cursor.status().ToString();
  auto found = Collect(**cursor, column);

  std::multiset<std::tuple<uint32_t, int, double>> expected;
  auto scan = (*db)->Scan(*table);
  auto all = Collect(**scan, column);
  for (const auto& r : all) {
    double v = std::get<2>(r);
    bool above = std::isnan(c.low) || (c.low_inclusive ? v >= c.low : v > c.low);
    bool below = std::isnan(c.high) || (c.high_inclusive ? v <= c.high : v < c.high);
    if (above && below) expected.insert(r);
  }
  EXPECT_EQ(found, expected);
  EXPECT_FALSE(found.empty() && !std::isnan(c.low) && c.low == c.high && c.low_inclusive)
      << "an equality lookup of a value the table holds found nothing";
}

const double kOpen = std::nan("");

INSTANTIATE_TEST_SUITE_P(
    Calendar, SeekRangeTest,
    ::testing::Values(
        RangeCase{"Dates", "DateKey", 40000, true, 40000, true},   // one day
        RangeCase{"Dates", "DateKey", 30000, true, 30031, false},  // a month, half open
        RangeCase{"Dates", "DateKey", 30000, false, 30031, true},
        RangeCase{"Dates", "DateKey", kOpen, true, 25600, true},         // from the start
        RangeCase{"Dates", "DateKey", 40170, true, kOpen, true},         // to the end
        RangeCase{"Dates", "DateKey", 60000, true, kOpen, true},         // past the end
        RangeCase{"EventDates", "EventDate", 36885, true, 36885, true},  // the links of 12/25/2000
        RangeCase{"EventDates", "EventId", 100, true, 140, false},
        RangeCase{"Events", "EventID", 5000, true, 5000, true}));

TEST(SeekRangeTest, FindsEachDayAcrossTheWholeCalendar) {
  SharedFileCopy copy("fixtures", "tessdata-large.mdb");
  auto db = Database::Open(copy.path().string());
  auto dates = (*db)->GetTable("Dates");
  const IndexDef* key = FindIndexOn(*dates, "DateKey", 1);
  ASSERT_NE(key, nullptr);
  int found = 0;
  for (int day = 25569; day < 25569 + 14681; day += 97) {
    KeyBound bound{{Value::Real(Value::Kind::kDateTime, day)}, true};
    auto cursor = (*db)->SeekRange(*dates, *key, &bound, &bound);
    ASSERT_TRUE(cursor.ok());
    Row row;
    Status s;
    while ((*cursor)->Next(&row, &s)) {
      EXPECT_EQ(row.values[ColumnIndex(*dates, "DateKey")].real(), day);
      ++found;
    }
  }
  EXPECT_GT(found, 100);
}

}  // namespace
}  // namespace jet
