#include "wizard/win32/compact_path.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "platform/unicode_win32.h"
#include "wizard/window_design.h"

namespace wizard::win32 {
namespace {

// The shell's path routines work in buffers of at least this many bytes.
constexpr size_t kMaxPath = MAX_PATH;

// The ANSI text of `utf8`; a character the code page lacks becomes the code
// page's default character, never a look-alike.
std::string Utf8ToAnsi(const std::string& utf8) {
  const std::wstring wide = platform::Widen(utf8);
  if (wide.empty()) return {};
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                         static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string ansi(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                      ansi.data(), length, nullptr, nullptr);
  return ansi;
}

std::string AnsiToUtf8(const char* ansi, size_t size) {
  if (size == 0) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(size), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(size), wide.data(), length);
  return platform::Narrow(wide);
}

}  // namespace

int32_t ScreenTwipsPerPixelX() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return WholeTwipsPerPixel(dpi);
}

std::string CompactPathToPixels(const std::string& path, int32_t width_pixels, HDC hdc) {
  const std::string ansi = Utf8ToAnsi(path);
  std::vector<char> buffer(std::max(kMaxPath, ansi.size() + 1), '\0');
  std::copy(ansi.begin(), ansi.end(), buffer.begin());
  // The routine answers whether it could shorten enough; the text is what
  // counts either way.
  PathCompactPathA(hdc, buffer.data(), static_cast<UINT>(std::max<int32_t>(width_pixels, 0)));
  const auto end = std::find(buffer.begin(), buffer.end(), '\0');
  return AnsiToUtf8(buffer.data(), static_cast<size_t>(end - buffer.begin()));
}

std::string CompactPathForDisplay(const std::string& strPath, int32_t lWidth, HDC hDC) {
  return CompactPathToPixels(strPath, TwipsToPixelWidth(lWidth, ScreenTwipsPerPixelX()), hDC);
}

}  // namespace wizard::win32
