// The surroundings of the error reporter: the message box, the clock with the
// locale's date and time texts, and the program information. The reporter
// reaches them only through the environment installed here, so that the
// window, the batch command and the tests each supply their own.
//
// Texts passed in and out are UTF-8.
//
// Installation is process-wide and not synchronised, like the pending failure
// (errors/pending_error.h): install before the first report, from the one
// thread that reports.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace errors {

// Message box styles: buttons in the low bits, icon in the next ones.
inline constexpr int32_t kOkOnly = 0;
inline constexpr int32_t kInformation = 64;

inline constexpr std::string_view kProductName = "Tessaly Desktop Calendar";

// A moment on the local clock.
struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;   // 0 to 23
  int minute = 0;
  int second = 0;
};

class ReporterEnvironment {
 public:
  virtual ~ReporterEnvironment() = default;

  // Shows `text` in a modal box titled `title` in the given style and returns
  // once the user has closed it; which button closed it does not matter.
  virtual void ShowMessage(std::string_view text, std::string_view title, int32_t style) = 0;
  virtual LocalDateTime Now() = 0;
  // The abbreviated name of `month` (1 to 12) in the user's locale.
  virtual std::string MonthAbbreviation(int month) = 0;
  // The text between hours, minutes and seconds in the user's locale.
  virtual std::string TimeSeparator() = 0;
  // The product name from the program's version information.
  virtual std::string ProductName() = 0;
  // The running program's file name without its extension.
  virtual std::string ExeName() = 0;
  // The folder that holds the running program's file.
  virtual std::string AppPath() = 0;
  // Where Windows would redirect a virtualised program's write to `path`
  // (platform/virtual_store.h); empty where nothing is redirected.
  virtual std::string VirtualStoreTwin(const std::string& path) = 0;
};

// The environment of this platform: the local clock; month names and time
// separator of the current LC_TIME locale (the program must have called
// setlocale(LC_ALL, "") for the user's locale to count; the "C" locale gives
// Jan..Dec and ":"); program file and folder from /proc/self/exe; and, as the
// message box of the batch command, the text written to standard error. The
// window derives from it and overrides ShowMessage() with a real box.
class SystemReporterEnvironment : public ReporterEnvironment {
 public:
  void ShowMessage(std::string_view text, std::string_view title, int32_t style) override;
  LocalDateTime Now() override;
  std::string MonthAbbreviation(int month) override;
  std::string TimeSeparator() override;
  std::string ProductName() override;
  std::string ExeName() override;
  std::string AppPath() override;
  std::string VirtualStoreTwin(const std::string& path) override;
};

// The environment in use: the installed one, else a SystemReporterEnvironment.
ReporterEnvironment& CurrentReporterEnvironment();

// Installs `environment` (nullptr: back to the system's) and returns the one
// it replaces. REQUIRES: `environment` outlives its installation.
ReporterEnvironment* SetReporterEnvironment(ReporterEnvironment* environment);

// Installs an environment for the life of a scope, then restores the previous
// one. Tests use it to control the box, the clock and the program information.
class ScopedReporterEnvironment {
 public:
  explicit ScopedReporterEnvironment(ReporterEnvironment& environment)
      : previous_(SetReporterEnvironment(&environment)) {}
  ~ScopedReporterEnvironment() { SetReporterEnvironment(previous_); }
  ScopedReporterEnvironment(const ScopedReporterEnvironment&) = delete;
  ScopedReporterEnvironment& operator=(const ScopedReporterEnvironment&) = delete;

 private:
  ReporterEnvironment* previous_;
};

// The time separator of a strftime time format such as nl_langinfo(T_FMT)
// gives it: the text between the hour and the next field ("%H.%M.%S" gives
// "."); ":" when the format does not show one.
std::string TimeSeparatorFromFormat(std::string_view time_format);

}  // namespace errors
