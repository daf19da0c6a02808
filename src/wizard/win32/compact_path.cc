#include "wizard/win32/compact_path.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "platform/charset.h"
#include "wizard/window_design.h"

namespace wizard::win32 {
namespace {

// The shell's path routines work in buffers of at least this many bytes.
constexpr size_t kMaxPath = MAX_PATH;

}  // namespace

int32_t ScreenTwipsPerPixelX() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return WholeTwipsPerPixel(dpi);
}

std::string CompactPathToPixels(const std::string& path, int32_t width_pixels, HDC hdc) {
  const std::string ansi = platform::ToSystemCharset(path);
  std::vector<char> buffer(std::max(kMaxPath, ansi.size() + 1), '\0');
  std::copy(ansi.begin(), ansi.end(), buffer.begin());
  // The routine answers whether it could shorten enough; the text is what
  // counts either way.
  PathCompactPathA(hdc, buffer.data(), static_cast<UINT>(std::max<int32_t>(width_pixels, 0)));
  const auto end = std::find(buffer.begin(), buffer.end(), '\0');
  return platform::FromSystemCharset(
      std::string_view(buffer.data(), static_cast<size_t>(end - buffer.begin())));
}

std::string CompactPathForDisplay(const std::string& strPath, int32_t lWidth, HDC hDC) {
  return CompactPathToPixels(strPath, TwipsToPixelWidth(lWidth, ScreenTwipsPerPixelX()), hDC);
}

}  // namespace wizard::win32
