// Character sets at the system's edges, Windows: see charset.h.
#include <windows.h>

#include "platform/charset.h"
#include "platform/unicode_win32.h"

namespace platform {

std::string ToSystemCharset(std::string_view utf8) {
  const std::wstring wide = Widen(utf8);
  if (wide.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                          nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string(utf8);
  std::string ansi(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                      ansi.data(), length, nullptr, nullptr);
  return ansi;
}

std::string FromSystemCharset(std::string_view text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return Narrow(wide);
}

std::string LocaleTextToUtf8(std::string_view text, std::string_view) { return std::string(text); }

}  // namespace platform
