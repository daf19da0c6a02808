// The running program and the locale on Windows; see system.h.
#include <windows.h>

#include <cwchar>

#include "platform/system.h"
#include "platform/unicode_win32.h"

namespace platform {

namespace {

std::string LocaleText(LCTYPE what) {
  wchar_t text[128];
  const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, what, text, 128);
  if (length <= 1) return {};
  return Narrow(std::wstring_view(text, static_cast<size_t>(length - 1)));
}

}  // namespace

std::string ProgramFile() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      return Narrow(name);
    }
    name.resize(name.size() * 2);
  }
}

std::string ProgramShortName() {
  const std::string file = ProgramFile();
  const size_t slash = file.find_last_of("\\/");
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

void MarkRunning() {
  // Held, never closed: the system lets go of it when the program ends.
  static const HANDLE mutex = CreateMutexW(nullptr, FALSE, Widen(kRunningMutex).c_str());
  (void)mutex;
}

std::string ProgramProductName() {
  const std::wstring file = Widen(ProgramFile());
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return {};
  std::string block(size, '\0');
  if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return {};
  // The first language of the resource's translation table.
  struct Translation {
    WORD language, code_page;
  }* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation)) {
    return {};
  }
  wchar_t key[64];
  swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\ProductName", translation->language,
           translation->code_page);
  wchar_t* name = nullptr;
  if (!VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&name), &length) || length == 0) {
    return {};
  }
  return Narrow(std::wstring_view(name, length > 0 && name[length - 1] == 0 ? length - 1 : length));
}

LocalTime LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

int64_t UnixTimeNow() {
  // FILETIME counts 100-nanosecond intervals from 1601-01-01 UTC.
  constexpr int64_t kIntervalsPerSecond = 10000000;
  constexpr int64_t kUnixEpochIntervals = 116444736000000000;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const auto intervals =
      static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  return (intervals - kUnixEpochIntervals) / kIntervalsPerSecond;
}

std::string MonthAbbreviation(int month) {
  if (month < 1 || month > 12) return {};
  return LocaleText(static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + (month - 1)));
}

std::string LocaleTimeFormat() {
  // The separator is what the log needs; the pattern carries it.
  std::string separator = LocaleText(LOCALE_STIME);
  if (separator.empty()) separator = ":";
  return "%H" + separator + "%M" + separator + "%S";
}

}  // namespace platform
