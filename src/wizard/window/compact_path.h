// The path box's display of a path: shortened with "..." so that it fits a
// width in pixels, measured in a given font, the way the platform's path
// compaction routine does it. The full path stays with the caller; only the
// shown text is shortened.
//
// Invariants:
//   (P1) A path that fits the width is returned unchanged.
//   (P2) The file name (the text after the last "/" or "\") is never
//        shortened. A longer path keeps its leading components and replaces
//        the ones nearest the file name by "...": "/home/anna/.../tessdata.mdb";
//        the shortest form is ".../tessdata.mdb", which may still be wider than
//        the width.
//   (P3) The text ends before its first NUL character, as the routine's
//        zero-terminated buffer would.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "wizard/window_design.h"

class QFont;
class QFontMetrics;

namespace wizard::window {

// Shortens `path` (UTF-8) to `width_pixels` as drawn with `metrics` (P1-P3).
std::string CompactPathToPixels(std::string_view path, int32_t width_pixels,
                                const QFontMetrics& metrics);

// The path box's text for `strPath`: `lWidth` is the width available in twips,
// converted with the primary screen's logical DPI; measured in `font`, the
// window's font.
std::string CompactPathForDisplay(const std::string& strPath, int32_t lWidth, const QFont& font);

}  // namespace wizard::window
