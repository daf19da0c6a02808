// The running program and the locale on POSIX systems; see system.h.
#include <errno.h>  // program_invocation_short_name
#include <langinfo.h>

#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/charset.h"
#include "platform/system.h"

namespace platform {

namespace {

std::string FromLocale(const char* text) {
  if (text == nullptr) return {};
  const char* codeset = nl_langinfo(CODESET);
  return LocaleTextToUtf8(text, codeset ? codeset : "");
}

}  // namespace

std::string ProgramFile() {
  std::error_code error;
  std::filesystem::path file = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : file.string();
}

std::string ProgramShortName() { return program_invocation_short_name; }

void MarkRunning() {}

std::string ProgramProductName() { return {}; }

LocalTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

int64_t UnixTimeNow() { return static_cast<int64_t>(std::time(nullptr)); }

std::string MonthAbbreviation(int month) {
  if (month < 1 || month > 12) return {};
  return FromLocale(nl_langinfo(static_cast<nl_item>(ABMON_1 + (month - 1))));
}

std::string LocaleTimeFormat() { return FromLocale(nl_langinfo(T_FMT)); }

}  // namespace platform
