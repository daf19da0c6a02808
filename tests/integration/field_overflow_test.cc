// A 16-bit overflow in the field functions reaches the user the way the
// runtime's own Overflow error would: as error 6 "Overflow", reported once by
// the procedure whose handler catches it, with that procedure's name.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "errors/guard.h"
#include "errors/pending_error.h"
#include "support/fake_reporter_environment.h"
#include "yeardata/date_records.h"
#include "yeardata/delimited_fields.h"

namespace {

using errors::testing::FakeReporterEnvironment;
using tessaly::testing::FileBytes;
using tessaly::testing::TempFolder;

class FieldOverflowTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  FakeReporterEnvironment environment_{folder_.path().string()};
  errors::ScopedReporterEnvironment scope_{environment_};
};

// Walks the records the way the day merge does, with a field index that the
// 16-bit arithmetic cannot take one from.
bool MergeWithIndex(const std::vector<std::string>& records, int16_t index) {
  return errors::Guarded("frmMain.InitDates", false, [&] {
    for (const std::string& record : records)
      (void)yeardata::GetDelimitedFields(record, "|", index, 0);
    return true;
  });
}

TEST_F(FieldOverflowTest, IndexMinus32768IsReportedAsRuntimeOverflow) {
  std::vector<std::string> records;
  yeardata::LoadDateRecords(records);

  EXPECT_FALSE(MergeWithIndex(records, -32768));

  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_NE(environment_.boxes[0].text.find("Module: \t\tfrmMain.InitDates\r\n"),
            std::string::npos);
  EXPECT_NE(environment_.boxes[0].text.find("Error Number: \t6\r\n"), std::string::npos);
  EXPECT_NE(FileBytes(errors::testing::ErrorLog(folder_))
                .find("In module: frmMain.InitDates\r\nAt line: 0\r\nError Number: 6\r\n"),
            std::string::npos);
  EXPECT_EQ(errors::Pending().number, 0);
}

TEST_F(FieldOverflowTest, CounterStepPast32767IsReportedOnceByTheInnermostHandler) {
  bool outer_went_on = false;
  errors::Guarded("frmMain.Update", [&] {
    const bool merged = errors::Guarded("frmMain.InitDates", false, [&] {
      (void)yeardata::GetDelimitedFields("a|b", "|", 32766, 32767);
      return true;
    });
    outer_went_on = !merged;
  });

  EXPECT_TRUE(outer_went_on);
  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_NE(environment_.boxes[0].text.find("frmMain.InitDates"), std::string::npos);
  EXPECT_NE(environment_.boxes[0].text.find("Error Description: \tOverflow\r\n"),
            std::string::npos);
}

TEST_F(FieldOverflowTest, OrdinaryIndexesRunTheWholeTableWithoutAReport) {
  std::vector<std::string> records;
  yeardata::LoadDateRecords(records);

  EXPECT_TRUE(MergeWithIndex(records, 4));
  EXPECT_TRUE(environment_.boxes.empty());
  EXPECT_EQ(FileBytes(errors::testing::ErrorLog(folder_)), "");
}

}  // namespace
