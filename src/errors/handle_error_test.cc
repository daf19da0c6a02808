// The reporter's message and log bytes against literal text, and what it does
// with its flags, an absent or unwritable log and a failing box.
#include "errors/handle_error.h"

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "errors/pending_error.h"
#include "platform/charset.h"
#include "support/fake_reporter_environment.h"

namespace errors {
namespace {

// Whether a file can be made in `folder` (an administrator may write into a
// read-only folder).
bool CanWriteInto(const std::filesystem::path& folder) {
  const std::filesystem::path probe = folder / "probe";
  const bool made = static_cast<bool>(std::ofstream(probe));
  std::error_code ignored;
  std::filesystem::remove(probe, ignored);
  return made;
}

using tessaly::testing::FileBytes;
using tessaly::testing::TempFolder;
using testing::ErrorLog;
using testing::FakeReporterEnvironment;

const std::string kRule = std::string(50, '-');

// How every box begins: the fake environment's product and program.
const std::string kBoxHead =
    "An error has occurred.\r\n"
    "\r\n"
    "Product Name: \tTessaly Desktop Calendar\r\n"
    "Application File:  \tCalendarUpdate\r\n";

class HandleErrorTest : public ::testing::Test {
 protected:
  void TearDown() override { Pending().Clear(); }

  TempFolder folder_;
  FakeReporterEnvironment environment_{folder_.path().string()};
  ScopedReporterEnvironment scope_{environment_};
};

TEST_F(HandleErrorTest, MessageForAnUnnumberedProcedureWithoutExtraText) {
  Pending().Set(6, "Overflow", 0);
  HandleError("frmMain.InitDates", true, "", false);

  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_EQ(environment_.boxes[0].text, kBoxHead +
                                            "Module: \t\tfrmMain.InitDates\r\n"
                                            "Line Number: \t0\r\n"
                                            "\r\n"
                                            "Error Number: \t6\r\n"
                                            "Error Description: \tOverflow\r\n"
                                            "\r\n"
                                            "\r\n"
                                            "\r\n");
  EXPECT_EQ(environment_.boxes[0].title, "Application Error");
  EXPECT_EQ(environment_.boxes[0].style, 64);
}

TEST_F(HandleErrorTest, LogEntryCreatesAbsentLog) {
  ASSERT_FALSE(std::filesystem::exists(ErrorLog(folder_)));
  Pending().Set(6, "Overflow", 0);
  HandleError("frmMain.InitDates", true, "", false);

  EXPECT_EQ(FileBytes(ErrorLog(folder_)),
            "05-Mar-2010  21:07:03\r\n"
            "Error logged by application: CalendarUpdate\r\n"
            "In module: frmMain.InitDates\r\n"
            "At line: 0\r\n"
            "Error Number: 6\r\n"
            "Error Description: Overflow\r\n"
            "--------------------------------------------------\r\n"
            "\r\n");
}

TEST_F(HandleErrorTest, NegativeNumberNumberedLineAndExtraText) {
  Pending().Set(-2147467259, "[Microsoft][ODBC Microsoft Access Driver] Disk or network error.",
                30);
  HandleError("basDatabase.GetEventData", true, "Please check the database file.", false);

  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_EQ(environment_.boxes[0].text,
            kBoxHead +
                "Module: \t\tbasDatabase.GetEventData\r\n"
                "Line Number: \t30\r\n"
                "\r\n"
                "Error Number: \t-2147467259\r\n"
                "Error Description: \t[Microsoft][ODBC Microsoft Access Driver] Disk or network "
                "error.\r\n"
                "\r\n"
                "\r\n"
                "Please check the database file.\r\n");
  // The extra text is never logged, nor is the product name.
  EXPECT_EQ(FileBytes(ErrorLog(folder_)),
            "05-Mar-2010  21:07:03\r\n"
            "Error logged by application: CalendarUpdate\r\n"
            "In module: basDatabase.GetEventData\r\n"
            "At line: 30\r\n"
            "Error Number: -2147467259\r\n"
            "Error Description: [Microsoft][ODBC Microsoft Access Driver] Disk or network "
            "error.\r\n"
            "--------------------------------------------------\r\n"
            "\r\n");
}

TEST_F(HandleErrorTest, LaterReportsAppendBehindEarlierOnes) {
  Pending().Set(9, "Subscript out of range", 0);
  HandleError("frmMain.AddAllDayEvents", true, "", false);
  environment_.now = {2010, 12, 31, 23, 59, 59};
  Pending().Set(94, "Invalid use of Null", 40);
  HandleError("basDatabase.GetEventsByDate", true, "", false);

  EXPECT_EQ(FileBytes(ErrorLog(folder_)),
            "05-Mar-2010  21:07:03\r\n"
            "Error logged by application: CalendarUpdate\r\n"
            "In module: frmMain.AddAllDayEvents\r\n"
            "At line: 0\r\n"
            "Error Number: 9\r\n"
            "Error Description: Subscript out of range\r\n"
            "--------------------------------------------------\r\n"
            "\r\n"
            "31-Dec-2010  23:59:59\r\n"
            "Error logged by application: CalendarUpdate\r\n"
            "In module: basDatabase.GetEventsByDate\r\n"
            "At line: 40\r\n"
            "Error Number: 94\r\n"
            "Error Description: Invalid use of Null\r\n"
            "--------------------------------------------------\r\n"
            "\r\n");
}

TEST_F(HandleErrorTest, EntryIsOnDiskBeforeTheBoxIsShown) {
  Pending().Set(7, "Out of memory", 0);
  HandleError("frmMain.Form_Load", true, "", false);
  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_FALSE(environment_.boxes[0].log_when_shown.empty());
  EXPECT_EQ(environment_.boxes[0].log_when_shown, FileBytes(ErrorLog(folder_)));
}

TEST_F(HandleErrorTest, DateAndTimeUseTheLocaleTextsAndTwoDigitFields) {
  environment_.months = {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun",
                         "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
  environment_.time_separator = ".";
  Pending().Set(6, "Overflow", 0);
  HandleError("frmMain.Update", true, "", false);
  environment_.now = {2010, 1, 1, 0, 0, 9};
  Pending().Set(6, "Overflow", 0);
  HandleError("frmMain.Update", true, "", false);

  const std::string log = FileBytes(ErrorLog(folder_));
  // In the system's 8-bit character set: "ä" is two bytes in UTF-8, one in
  // the ANSI code page of Windows.
  const std::string first = platform::ToSystemCharset("05-M\xC3\xA4r-2010  21.07.03\r\n");
  EXPECT_EQ(log.substr(0, first.size()), first);
  const size_t second = log.find("01-Jan-2010");
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(log.substr(second, 23), "01-Jan-2010  00.00.09\r\n");
}

TEST_F(HandleErrorTest, NonAsciiDescriptionIsLoggedInTheSystemCharset) {
  Pending().Set(3021, "Kein aktueller Datensatz \xE2\x80\x93 \xC3\xBC", 0);
  HandleError("frmMain.InitDates", true, "", true);
  EXPECT_NE(FileBytes(ErrorLog(folder_))
                .find(platform::ToSystemCharset(
                    "Error Description: Kein aktueller Datensatz \xE2\x80\x93 \xC3\xBC\r\n")),
            std::string::npos);
}

TEST_F(HandleErrorTest, FolderPathEndingInASeparatorIsUsedAsGiven) {
  environment_.app_path = folder_.path().string() + "/";
  Pending().Set(6, "Overflow", 0);
  HandleError("frmMain.Update", true, "", true);
  EXPECT_NE(FileBytes(ErrorLog(folder_)).find("In module: frmMain.Update\r\n"), std::string::npos);
}

struct FlagCase {
  bool log;
  bool no_message;
  bool expect_log_file;
  size_t expect_boxes;

  friend void PrintTo(const FlagCase& c, std::ostream* os) {
    *os << "bLog=" << c.log << " bNoMessage=" << c.no_message;
  }
};

class HandleErrorFlagsTest : public HandleErrorTest,
                             public ::testing::WithParamInterface<FlagCase> {};

TEST_P(HandleErrorFlagsTest, FlagsChooseLogAndBoxAndPendingIsAlwaysCleared) {
  const FlagCase& c = GetParam();
  Pending().Set(13, "Type mismatch", 20);
  HandleError("basDatabase.AddEventDate", c.log, "", c.no_message);

  EXPECT_EQ(std::filesystem::exists(ErrorLog(folder_)), c.expect_log_file);
  EXPECT_EQ(environment_.boxes.size(), c.expect_boxes);
  EXPECT_EQ(Pending().number, 0);
  EXPECT_EQ(Pending().description, "");
  EXPECT_FALSE(Pending().IsPending());
}

INSTANTIATE_TEST_SUITE_P(AllFlagCombinations, HandleErrorFlagsTest,
                         ::testing::Values(FlagCase{true, false, true, 1},
                                           FlagCase{true, true, true, 0},
                                           FlagCase{false, false, false, 1},
                                           FlagCase{false, true, false, 0}));

// Ways the log cannot be written. The user still gets the full message.
enum class LogFault { kLogIsAFolder, kProgramFolderMissing, kProgramFolderReadOnly };

void PrintTo(LogFault fault, std::ostream* os) { *os << static_cast<int>(fault); }

class HandleErrorLogFaultTest : public HandleErrorTest,
                                public ::testing::WithParamInterface<LogFault> {};

TEST_P(HandleErrorLogFaultTest, MessageIsStillShownAndPendingCleared) {
  switch (GetParam()) {
    case LogFault::kLogIsAFolder:  // cannot be opened for writing, not even by root
      std::filesystem::create_directory(ErrorLog(folder_));
      break;
    case LogFault::kProgramFolderMissing:
      environment_.app_path = (folder_.path() / "gone").string();
      break;
    case LogFault::kProgramFolderReadOnly:  // root writes there all the same
      std::filesystem::permissions(folder_.path(), std::filesystem::perms(0555));
      break;
  }
  Pending().Set(6, "Overflow", 0);
  HandleError("frmMain.OpenDatabase", true, "", false);

  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_NE(environment_.boxes[0].text.find("Module: \t\tfrmMain.OpenDatabase\r\n"),
            std::string::npos);
  EXPECT_FALSE(Pending().IsPending());
  if (GetParam() == LogFault::kLogIsAFolder) {
    EXPECT_TRUE(std::filesystem::is_directory(ErrorLog(folder_)));
  }
  if (GetParam() == LogFault::kProgramFolderReadOnly && !CanWriteInto(folder_.path())) {
    EXPECT_FALSE(std::filesystem::exists(ErrorLog(folder_)));
  }
}

INSTANTIATE_TEST_SUITE_P(UnwritableLog, HandleErrorLogFaultTest,
                         ::testing::Values(LogFault::kLogIsAFolder, LogFault::kProgramFolderMissing,
                                           LogFault::kProgramFolderReadOnly),
                         [](const ::testing::TestParamInfo<LogFault>& info) -> std::string {
                           switch (info.param) {
                             case LogFault::kLogIsAFolder: return "LogIsAFolder";
                             case LogFault::kProgramFolderMissing: return "FolderMissing";
                             case LogFault::kProgramFolderReadOnly: return "FolderReadOnly";
                           }
                           return "Unknown";
                         });

TEST_F(HandleErrorTest, FailingBoxDoesNotEscapeAndPendingIsCleared) {
  environment_.throw_from_box = true;
  Pending().Set(6, "Overflow", 0);
  HandleError("frmMain.cmdButton1_Click", true, "", false);  // must not throw
  EXPECT_FALSE(Pending().IsPending());
  EXPECT_NE(FileBytes(ErrorLog(folder_)).find("In module: frmMain.cmdButton1_Click"),
            std::string::npos);
}

TEST_F(HandleErrorTest, ReportWithNothingPendingShowsZero) {
  HandleError("frmMain.EnableUpdate", true, "", false);
  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_NE(environment_.boxes[0].text.find("Error Number: \t0\r\nError Description: \t\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace errors
