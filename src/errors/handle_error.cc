// The error reporter: message, log entry, box, and the clearing of the
// pending failure.
#include "errors/handle_error.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>

#include "errors/pending_error.h"
#include "platform/charset.h"
#include "platform/file.h"
#include "platform/path.h"

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

}  // namespace

void HandleError(std::string_view strModule, bool bLog, std::string_view strExtraText,
                 bool bNoMessage) noexcept {
  PendingError& pending = Pending();
  try {
    ReporterEnvironment& environment = CurrentReporterEnvironment();
    std::string message = BuildMessage(environment, pending, strModule, strExtraText);
    if (bLog) {
      std::string lost;  // why the entry could not be written anywhere
      try {
        // The folder path is used as given, even when it ends in a separator.
        std::string path = environment.AppPath();
        path += kPathSeparator;
        path += kLogFileName;
        const std::string entry =
            platform::ToSystemCharset(BuildLogEntry(environment, pending, strModule));
        platform::Error logged = platform::AppendAndSync(path, entry);
        // A program installed under Program Files may not write there: its
        // log goes where Windows would have redirected a virtualised
        // program's write.
        if (const std::string twin = logged.ok() ? "" : environment.VirtualStoreTwin(path);
            !twin.empty()) {
          (void)platform::MakeFolders(platform::ParentFolder(twin));
          if (platform::Error second = platform::AppendAndSync(twin, entry); second.ok()) {
            logged = second;
          }
        }
        if (!logged.ok()) lost = logged.message();
      } catch (const std::exception& e) {
        lost = e.what();
      } catch (...) {
        lost = "unknown failure";
      }
      if (kTellLostLogEntry && !lost.empty()) {
        std::string note(strExtraText.empty() ? "" : " ");
        note += kLostLogNote;
        note += lost;
        message.insert(message.size() - kCrLf.size(), note);
      }
    }
    if (!bNoMessage) environment.ShowMessage(message, kErrorBoxTitle, kErrorBoxStyle);
  } catch (...) {
    // Nothing to tell anyone: the reporter is the one who tells.
  }
  pending.Clear();
}

}  // namespace errors
