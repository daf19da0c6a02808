// The handler pattern: one report per failure, by the innermost procedure
// with a handler, with the line it reached; callers see only the failure
// result.
#include "errors/guard.h"

#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "errors/pending_error.h"
#include "errors/runtime_error.h"
#include "support/fake_reporter_environment.h"

namespace errors {
namespace {

using tessaly::testing::FileBytes;
using tessaly::testing::TempFolder;
using testing::ErrorLog;
using testing::FakeReporterEnvironment;

class GuardTest : public ::testing::Test {
 protected:
  void TearDown() override { Pending().Clear(); }

  // How many log entries name `module`.
  size_t LoggedFrom(const std::string& module) const {
    const std::string log = FileBytes(ErrorLog(folder_));
    const std::string needle = "In module: " + module + "\r\n";
    size_t count = 0;
    for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) {
      ++count;
    }
    return count;
  }

  TempFolder folder_;
  FakeReporterEnvironment environment_{folder_.path().string()};
  ScopedReporterEnvironment scope_{environment_};
};

// Shapes of the system's procedures, reduced to their failure paths.
int16_t IncrementCounter(int16_t count) {  // no handler of its own
  if (count == 32767) throw RuntimeError(kOverflow);
  return static_cast<int16_t>(count + 1);
}

bool AddEventDate(int16_t count) {
  return Guarded("basDatabase.AddEventDate", false, [&](Lines& line) {
    line(10);
    line(20);
    IncrementCounter(count);
    line(30);
    return true;
  });
}

bool AddEvent(int16_t count, std::vector<std::string>& trace) {
  return Guarded("basDatabase.AddEventToDatabase", false, [&] {
    if (!AddEventDate(count)) {
      trace.push_back("inner failed");
      return false;
    }
    trace.push_back("inner succeeded");
    return true;
  });
}

TEST_F(GuardTest, InnerFailureIsReportedOnceAndOuterSeesOnlyFalse) {
  std::vector<std::string> trace;
  EXPECT_FALSE(AddEvent(32767, trace));

  EXPECT_EQ(trace, std::vector<std::string>{"inner failed"});
  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_EQ(environment_.Reports(), std::vector<std::string>{"basDatabase.AddEventDate 20"});
  EXPECT_NE(environment_.boxes[0].text.find("Error Number: \t6\r\nError Description: \tOverflow"),
            std::string::npos);
  EXPECT_EQ(LoggedFrom("basDatabase.AddEventDate"), 1u);
  EXPECT_EQ(LoggedFrom("basDatabase.AddEventToDatabase"), 0u);
  EXPECT_FALSE(Pending().IsPending());
}

TEST_F(GuardTest, SuccessReturnsTheBodysResultAndReportsNothing) {
  std::vector<std::string> trace;
  EXPECT_TRUE(AddEvent(5, trace));
  EXPECT_EQ(trace, std::vector<std::string>{"inner succeeded"});
  EXPECT_TRUE(environment_.boxes.empty());
  EXPECT_FALSE(std::filesystem::exists(ErrorLog(folder_)));
}

TEST_F(GuardTest, ProcedureWithoutHandlerPassesTheFailureToItsCallersHandler) {
  const bool ok = Guarded("frmMain.InitDates", false, [] {
    IncrementCounter(32767);
    return true;
  });
  EXPECT_FALSE(ok);
  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_NE(environment_.boxes[0].text.find("Module: \t\tfrmMain.InitDates\r\n"
                                            "Line Number: \t0\r\n"),
            std::string::npos);
  EXPECT_EQ(LoggedFrom("frmMain.InitDates"), 1u);
}

TEST_F(GuardTest, ProcedureWithoutResultReportsAndReturns) {
  bool reached_end = false;
  Guarded("frmMain.cmdBrowse_Click", [&] {
    throw std::out_of_range("vector::at");
    reached_end = true;
  });
  EXPECT_FALSE(reached_end);
  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_NE(environment_.boxes[0].text.find("Error Number: \t9\r\n"
                                            "Error Description: \tSubscript out of range\r\n"),
            std::string::npos);
}

TEST_F(GuardTest, LaterFailureAfterAReportIsReportedAgain) {
  // A report clears the pending failure, and the next failure brings its
  // own line: nothing of the first leaks into the second report.
  EXPECT_FALSE(AddEventDate(32767));
  const bool ok = Guarded("frmMain.OpenDatabase", false, []() -> bool {
    throw RuntimeError(-2147217843, "Could not find file.");
  });
  EXPECT_FALSE(ok);
  ASSERT_EQ(environment_.boxes.size(), 2u);
  EXPECT_NE(environment_.boxes[1].text.find("Line Number: \t0\r\n\r\n"
                                            "Error Number: \t-2147217843\r\n"
                                            "Error Description: \tCould not find file.\r\n"),
            std::string::npos);
}

TEST_F(GuardTest, LongHandFormReportsTheLineReached) {
  auto get_event_data = [] {
    ErrorHandler handler("basDatabase.GetEventData");
    try {
      handler.Line(10);
      handler.Line(50);
      throw RuntimeError(kInvalidUseOfNull);
    } catch (...) {
      handler.Report();
      return false;
    }
  };
  EXPECT_FALSE(get_event_data());
  EXPECT_NE(FileBytes(ErrorLog(folder_))
                .find("In module: basDatabase.GetEventData\r\n"
                      "At line: 50\r\n"
                      "Error Number: 94\r\n"
                      "Error Description: Invalid use of Null\r\n"),
            std::string::npos);
}

TEST_F(GuardTest, RethrowAfterReportIsNotReportedAgain) {
  auto reports_and_rethrows = [] {
    ErrorHandler handler("basDatabase.IncrementEventCount");
    try {
      IncrementCounter(32767);
    } catch (...) {
      handler.Report();
      throw;  // the mistake: callers must see only the failure result
    }
  };
  EXPECT_FALSE(Guarded("basDatabase.AddEventDate", false, [&] {
    reports_and_rethrows();
    return true;
  }));
  EXPECT_EQ(environment_.boxes.size(), 1u);
  EXPECT_EQ(LoggedFrom("basDatabase.IncrementEventCount"), 1u);
  EXPECT_EQ(LoggedFrom("basDatabase.AddEventDate"), 0u);

  // A new failure of the same kind is a new exception and is reported.
  EXPECT_FALSE(AddEventDate(32767));
  EXPECT_EQ(LoggedFrom("basDatabase.AddEventDate"), 1u);
}

TEST_F(GuardTest, FailureValueOfOtherResultTypes) {
  const int result =
      Guarded("basDatabase.GetEventsByDate", -1, []() -> int { throw std::bad_alloc(); });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(LoggedFrom("basDatabase.GetEventsByDate"), 1u);
}

TEST_F(GuardTest, ReportOutsideACatchBlockIsAnInternalError) {
  ErrorHandler handler("frmMain.Form_Load");
  handler.Report();
  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_NE(environment_.boxes[0].text.find("Error Number: \t51\r\n"
                                            "Error Description: \tInternal error\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace errors
