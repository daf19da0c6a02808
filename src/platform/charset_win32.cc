// Character sets at the system's edges, Windows: see charset.h.
#include <windows.h>

#include "platform/charset.h"

namespace platform {

std::string ToSystemCharset(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int wide_length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (wide_length <= 0) return std::string(utf8);
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                      wide_length);
  const int ansi_length =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, nullptr, 0, "?", nullptr);
  if (ansi_length <= 0) return std::string(utf8);
  std::string ansi(static_cast<size_t>(ansi_length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, ansi.data(), ansi_length, "?",
                      nullptr);
  return ansi;
}

std::string LocaleTextToUtf8(std::string_view text, std::string_view) { return std::string(text); }

}  // namespace platform
