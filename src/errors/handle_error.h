// The error reporter: the one place where the system tells the user and the
// log about a failure.
//
// HandleError() reads the pending failure (errors/pending_error.h) and, in
// this order:
//   1. composes the standard message;
//   2. if asked, appends an eight-line entry to error.log in the program's
//      folder, and the entry is complete on disk (synced) before step 3;
//   3. if asked, shows the message in a modal box and waits for it to close;
//   4. clears the pending failure.
// It has no failure path of its own: when error.log cannot be opened or
// written in the program's folder (a read-only folder, say), the entry goes
// to the log's VirtualStore twin where the system has one (Windows: a
// program installed under Program Files), its folders made; when it cannot
// be written there either, it is lost and the rest goes on as usual, on
// Windows with the reason at the end of the message (kLostLogNote, before
// its last CR LF), so that no entry is lost silently. Nothing throws out of
// it. It keeps nothing between calls.
//
// The message (CR LF line ends, tabs as shown as \t):
//   An error has occurred.\r\n\r\n
//   Product Name: \t<product>\r\n
//   Application File:  \t<program file name>\r\n
//   Module: \t\t<strModule>\r\n
//   Line Number: \t<line>\r\n\r\n
//   Error Number: \t<number>\r\n
//   Error Description: \t<description>\r\n\r\n
//   \r\n<strExtraText>\r\n
//
// The log entry (no tabs, no product name, no extra text):
//   DD-MMM-YYYY  HH:MM:SS\r\n        month abbreviation and time separator
//   Error logged by application: <program file name>\r\n   of the locale
//   In module: <strModule>\r\n
//   At line: <line>\r\n
//   Error Number: <number>\r\n
//   Error Description: <description>\r\n
//   --------------------------------------------------\r\n    (50 dashes)
//   \r\n
// written in the system's 8-bit character set (platform/charset.h).
// Numbers are decimal without grouping, negative ones with a leading "-".
#pragma once

#include <cstdint>
#include <string_view>

#include "errors/reporter_environment.h"

namespace errors {

inline constexpr std::string_view kErrorBoxTitle = "Application Error";
inline constexpr int32_t kErrorBoxStyle = kOkOnly | kInformation;  // 64
inline constexpr std::string_view kLogFileName = "error.log";
inline constexpr std::string_view kLostLogNote = "This error could not be logged: ";
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr bool kTellLostLogEntry = true;
#else
inline constexpr char kPathSeparator = '/';
inline constexpr bool kTellLostLogEntry = false;
#endif

// Reports the pending failure as raised in `strModule` (the failing
// procedure's qualified name, "basDatabase.GetEventData"). `bLog`: write the
// log entry. `strExtraText`: appended to the message, never logged.
// `bNoMessage`: do not show the box. The system's own procedures always pass
// (name, true, "", false); they call it through errors/guard.h.
void HandleError(std::string_view strModule, bool bLog, std::string_view strExtraText,
                 bool bNoMessage) noexcept;

}  // namespace errors
