// This platform's reporter environment, the installation of another one, and
// the time separator taken from a locale's time format.
#include "errors/reporter_environment.h"

#include <clocale>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "platform/system.h"
#include "support/fake_reporter_environment.h"

namespace errors {
namespace {

struct SeparatorCase {
  std::string format;
  std::string separator;

  friend void PrintTo(const SeparatorCase& c, std::ostream* os) { *os << '"' << c.format << '"'; }
};

class TimeSeparatorFromFormatTest : public ::testing::TestWithParam<SeparatorCase> {};

TEST_P(TimeSeparatorFromFormatTest, FindsTheTextBehindTheHour) {
  EXPECT_EQ(TimeSeparatorFromFormat(GetParam().format), GetParam().separator);
}

INSTANTIATE_TEST_SUITE_P(LocaleTimeFormats, TimeSeparatorFromFormatTest,
                         ::testing::Values(SeparatorCase{"%H:%M:%S", ":"},     // C, en_GB, de_DE
                                           SeparatorCase{"%H.%M.%S", "."},     // fi_FI
                                           SeparatorCase{"%I:%M:%S %p", ":"},  // en_US
                                           SeparatorCase{"%l.%M.%S %p", "."},
                                           SeparatorCase{"%OH:%OM:%OS", ":"},
                                           SeparatorCase{"%-H h %M", " h "},
                                           SeparatorCase{"%T", ":"}, SeparatorCase{"%r", ":"},
                                           SeparatorCase{"%%H.%H,%M", ","},  // "%%H" is no hour
                                           SeparatorCase{"%H%M%S", ":"},  // none shown: the default
                                           SeparatorCase{"%H", ":"}, SeparatorCase{"", ":"},
                                           SeparatorCase{"%", ":"}));

TEST(SystemReporterEnvironmentTest, ProgramFileAndFolderAreThoseOfTheRunningProgram) {
  SystemReporterEnvironment environment;
  const std::filesystem::path program(platform::ProgramFile());
  EXPECT_EQ(program.stem(), "errors_test");
  EXPECT_EQ(environment.ExeName(), "errors_test");
  EXPECT_EQ(environment.AppPath(), program.parent_path().string());
  EXPECT_TRUE(std::filesystem::equivalent(environment.AppPath(), TESSALY_BIN_DIR));
  EXPECT_EQ(environment.ProductName(), "Tessaly Desktop Calendar");
}

TEST(SystemReporterEnvironmentTest, CLocaleGivesEnglishMonthsAndColon) {
  const std::string previous = std::setlocale(LC_TIME, nullptr);
  ASSERT_NE(std::setlocale(LC_TIME, "C"), nullptr);
  SystemReporterEnvironment environment;
  const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(environment.MonthAbbreviation(month), kMonths[month - 1]) << month;
  }
  EXPECT_EQ(environment.MonthAbbreviation(0), "");
  EXPECT_EQ(environment.MonthAbbreviation(13), "");
  EXPECT_EQ(environment.TimeSeparator(), ":");
  std::setlocale(LC_TIME, previous.c_str());
}

TEST(SystemReporterEnvironmentTest, NowIsTheLocalClock) {
  SystemReporterEnvironment environment;
  const std::time_t before = std::time(nullptr);
  const LocalDateTime now = environment.Now();
  const std::time_t after = std::time(nullptr);

  std::tm fields{};
  fields.tm_year = now.year - 1900;
  fields.tm_mon = now.month - 1;
  fields.tm_mday = now.day;
  fields.tm_hour = now.hour;
  fields.tm_min = now.minute;
  fields.tm_sec = now.second;
  fields.tm_isdst = -1;
  const std::time_t seen = std::mktime(&fields);
  EXPECT_GE(seen, before);
  EXPECT_LE(seen, after);
}

TEST(SystemReporterEnvironmentTest, BatchMessageGoesToStandardErrorUnchanged) {
  SystemReporterEnvironment environment;
  ::testing::internal::CaptureStderr();
  environment.ShowMessage("An error has occurred.\r\n\r\nModule: \t\tx\r\n", "Application Error",
                          64);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "An error has occurred.\r\n\r\nModule: \t\tx\r\n");
}

TEST(ScopedReporterEnvironmentTest, InstallsAndRestoresNested) {
  ReporterEnvironment& system = CurrentReporterEnvironment();
  EXPECT_NE(dynamic_cast<SystemReporterEnvironment*>(&system), nullptr);
  testing::FakeReporterEnvironment outer("/outer");
  testing::FakeReporterEnvironment inner("/inner");
  {
    ScopedReporterEnvironment outer_scope(outer);
    EXPECT_EQ(&CurrentReporterEnvironment(), &outer);
    {
      ScopedReporterEnvironment inner_scope(inner);
      EXPECT_EQ(&CurrentReporterEnvironment(), &inner);
    }
    EXPECT_EQ(&CurrentReporterEnvironment(), &outer);
  }
  EXPECT_EQ(&CurrentReporterEnvironment(), &system);
}

}  // namespace
}  // namespace errors
