#include "wizard/window/compact_path.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QString>
#include <cmath>
#include <vector>

namespace wizard::window {
namespace {

constexpr std::string_view kEllipsis = "...";

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

int Width(const QFontMetrics& metrics, std::string_view text) {
  return metrics.horizontalAdvance(
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace

std::string CompactPathToPixels(std::string_view path, int32_t width_pixels,
                                const QFontMetrics& metrics) {
  if (const size_t nul = path.find('\0'); nul != path.npos) path = path.substr(0, nul);  // P3
  if (Width(metrics, path) <= width_pixels) return std::string(path);                    // P1

  // The separators that end each directory component; the last one starts the
  // file name.
  std::vector<size_t> separators;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsSeparator(path[i])) separators.push_back(i);
  }
  if (separators.empty()) return std::string(path);              // a bare name is never cut (P2)
  const std::string_view tail = path.substr(separators.back());  // "/tessdata.mdb"

  // Keep as many leading components as fit before ".../name"; a component is
  // kept whole or dropped, never cut.
  for (size_t kept = separators.size() - 1; kept-- > 0;) {
    std::string candidate(path.substr(0, separators[kept] + 1));
    candidate += kEllipsis;
    candidate += tail;
    if (Width(metrics, candidate) <= width_pixels) return candidate;
  }
  return std::string(kEllipsis) + std::string(tail);
}

std::string CompactPathForDisplay(const std::string& strPath, int32_t lWidth, const QFont& font) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const int32_t twips_per_pixel = WholeTwipsPerPixel(screen ? screen->logicalDotsPerInchX() : 96.0);
  return CompactPathToPixels(strPath, TwipsToPixelWidth(lWidth, twips_per_pixel),
                             QFontMetrics(font));
}

}  // namespace wizard::window
