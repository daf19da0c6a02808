// The file lookup on Windows; see file_lookup.h.
#include <windows.h>

#include "platform/file_lookup.h"
#include "platform/unicode_win32.h"

namespace platform {

Lookup LookUpFile(const std::string& path) {
  if (path.empty()) return Lookup::kNotListed;
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_DIRECTORY: return Lookup::kNotListed;
      case ERROR_INVALID_NAME:
      case ERROR_BAD_PATHNAME:
      case ERROR_FILENAME_EXCED_RANGE:
      case ERROR_INVALID_DRIVE:
      case ERROR_BAD_NETPATH:
      case ERROR_BAD_NET_NAME: return Lookup::kBadName;
      default: return Lookup::kFailed;
    }
  }
  constexpr DWORD kNotListed = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
  return (attributes & kNotListed) != 0 ? Lookup::kNotListed : Lookup::kOrdinaryFile;
}

bool WriteAccessDenied(const std::string& path) {
  // Sharing everything, so that a program that has the file open (the
  // calendar) does not make it look denied.
  HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return false;
  }
  return GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace platform
