// The installed reporter environment and this platform's implementation.
#include "errors/reporter_environment.h"

#include <cstdio>

#include "platform/system.h"
#include "platform/virtual_store.h"

namespace errors {
namespace {

ReporterEnvironment* installed_environment = nullptr;

bool IsHourConversion(char c) { return c == 'H' || c == 'I' || c == 'k' || c == 'l'; }

}  // namespace

void SystemReporterEnvironment::ShowMessage(std::string_view text, std::string_view, int32_t) {
  // The batch command has no box: the text goes to standard error as it is,
  // and nothing waits for the user.
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

LocalDateTime SystemReporterEnvironment::Now() {
  const platform::LocalTime now = platform::LocalNow();
  return {now.year, now.month, now.day, now.hour, now.minute, now.second};
}

std::string SystemReporterEnvironment::MonthAbbreviation(int month) {
  return platform::MonthAbbreviation(month);
}

std::string SystemReporterEnvironment::TimeSeparator() {
  return TimeSeparatorFromFormat(platform::LocaleTimeFormat());
}

std::string SystemReporterEnvironment::ProductName() {
  // The version information's product name (the Windows build carries it);
  // programs without one name the product they belong to.
  std::string name = platform::ProgramProductName();
  return name.empty() ? std::string(kProductName) : name;
}

std::string SystemReporterEnvironment::ExeName() { return platform::ProgramStem(); }

std::string SystemReporterEnvironment::AppPath() {
  const std::string folder = platform::ProgramFolder();
  return folder.empty() ? "." : folder;
}

std::string SystemReporterEnvironment::VirtualStoreTwin(const std::string& path) {
  return platform::VirtualStorePath(path);
}

ReporterEnvironment& CurrentReporterEnvironment() {
  static SystemReporterEnvironment system_environment;
  return installed_environment != nullptr ? *installed_environment : system_environment;
}

ReporterEnvironment* SetReporterEnvironment(ReporterEnvironment* environment) {
  ReporterEnvironment* previous = installed_environment;
  installed_environment = environment;
  return previous;
}

std::string TimeSeparatorFromFormat(std::string_view time_format) {
  const std::string kDefault = ":";
  for (size_t i = 0; i < time_format.size(); ++i) {
    if (time_format[i] != '%') continue;
    // Skip flags, width and the E/O modifiers between "%" and the conversion.
    size_t j = i + 1;
    while (j < time_format.size() &&
           (std::string_view("_-0^#EO").find(time_format[j]) != std::string_view::npos ||
            (time_format[j] >= '0' && time_format[j] <= '9'))) {
      ++j;
    }
    if (j >= time_format.size()) break;
    const char conversion = time_format[j];
    i = j;
    if (conversion == 'T' || conversion == 'R' || conversion == 'r') return kDefault;
    if (!IsHourConversion(conversion)) continue;
    const size_t next_field = time_format.find('%', j + 1);
    const std::string_view separator =
        time_format.substr(j + 1, next_field == std::string_view::npos ? std::string_view::npos
                                                                       : next_field - (j + 1));
    if (separator.empty()) return kDefault;
    return std::string(separator);
  }
  return kDefault;
}

}  // namespace errors
