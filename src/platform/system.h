// The running program and the user's locale, as the system tells them.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The running program's file (absolute), empty when the system does not
// tell.
std::string ProgramFile();
// The name the program was started under, without folder (when
// ProgramFile is empty).
std::string ProgramShortName();
// The folder that holds the program's file; empty when the system does not
// tell.
std::string ProgramFolder();
// The program's file name without its extension.
std::string ProgramStem();

// Marks the program as running until it ends, so that its installer can
// refuse to replace or remove it meanwhile: on Windows the named mutex
// kRunningMutex, which the installer looks for; nothing elsewhere.
inline constexpr const char* kRunningMutex = "TessalyCalendarUpdate.Running";
void MarkRunning();

// The product name from the program's version information; empty when it
// has none (as programs on POSIX systems do).
std::string ProgramProductName();

struct LocalTime {
  int year, month, day, hour, minute, second;  // month 1..12
};
// The local clock now.
LocalTime LocalNow();
// The system's clock now: whole seconds since 1970-01-01 00:00 UTC.
int64_t UnixTimeNow();

// The user's abbreviated name of `month` (1..12), in UTF-8; empty outside
// 1..12.
std::string MonthAbbreviation(int month);
// The user's time format as a strftime pattern ("%H:%M:%S"), in UTF-8.
std::string LocaleTimeFormat();

}  // namespace platform
