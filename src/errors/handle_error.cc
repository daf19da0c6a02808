// The error reporter: message, log entry, box, and the clearing of the
// pending failure.
#include "errors/handle_error.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "errors/pending_error.h"
#include "errors/system_charset.h"

namespace errors {
namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string FourDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d", value);
  return text;
}

std::string BuildMessage(ReporterEnvironment& environment, const PendingError& pending,
                         std::string_view module, std::string_view extra_text) {
  std::string message;
  message += "An error has occurred.";
  message += kCrLf;
  message += kCrLf;
  message += "Product Name: \t";
  message += environment.ProductName();
  message += kCrLf;
  message += "Application File:  \t";
  message += environment.ExeName();
  message += kCrLf;
  message += "Module: \t\t";
  message += module;
  message += kCrLf;
  message += "Line Number: \t";
  message += std::to_string(pending.line);
  message += kCrLf;
  message += kCrLf;
  message += "Error Number: \t";
  message += std::to_string(pending.number);
  message += kCrLf;
  message += "Error Description: \t";
  message += pending.description;
  message += kCrLf;
  message += kCrLf;
  message += kCrLf;
  message += extra_text;
  message += kCrLf;
  return message;
}

std::string BuildLogEntry(ReporterEnvironment& environment, const PendingError& pending,
                          std::string_view module) {
  const LocalDateTime now = environment.Now();
  const std::string time_separator = environment.TimeSeparator();
  std::string entry;
  entry += TwoDigits(now.day);
  entry += '-';
  entry += environment.MonthAbbreviation(now.month);
  entry += '-';
  entry += FourDigits(now.year);
  entry += "  ";
  entry += TwoDigits(now.hour);
  entry += time_separator;
  entry += TwoDigits(now.minute);
  entry += time_separator;
  entry += TwoDigits(now.second);
  entry += kCrLf;
  entry += "Error logged by application: ";
  entry += environment.ExeName();
  entry += kCrLf;
  entry += "In module: ";
  entry += module;
  entry += kCrLf;
  entry += "At line: ";
  entry += std::to_string(pending.line);
  entry += kCrLf;
  entry += "Error Number: ";
  entry += std::to_string(pending.number);
  entry += kCrLf;
  entry += "Error Description: ";
  entry += pending.description;
  entry += kCrLf;
  entry += std::string(50, '-');
  entry += kCrLf;
  entry += kCrLf;
  return entry;
}

// Appends `bytes` to the file at `path`, creating it when missing, and syncs
// it. The file is opened afresh and closed again, and not locked: other
// programs may read or write it meanwhile. The whole entry goes out in one
// append so that a concurrent writer cannot split it. Returns false when
// anything failed; the caller has no use for the reason.
bool AppendAndSync(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  if (::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

void HandleError(std::string_view strModule, bool bLog, std::string_view strExtraText,
                 bool bNoMessage) noexcept {
  PendingError& pending = Pending();
  try {
    ReporterEnvironment& environment = CurrentReporterEnvironment();
    const std::string message = BuildMessage(environment, pending, strModule, strExtraText);
    if (bLog) {
      try {
        // The folder path is used as given, even when it ends in a separator.
        std::string path = environment.AppPath();
        path += kPathSeparator;
        path += kLogFileName;
        AppendAndSync(path, ToSystemCharset(BuildLogEntry(environment, pending, strModule)));
      } catch (...) {
        // The entry is lost; the user still gets the message.
      }
    }
    if (!bNoMessage) environment.ShowMessage(message, kErrorBoxTitle, kErrorBoxStyle);
  } catch (...) {
    // Nothing to tell anyone: the reporter is the one who tells.
  }
  pending.Clear();
}

}  // namespace errors
