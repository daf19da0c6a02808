// The path box's display of a path on Windows: the shell's own
// PathCompactPathA, which replaces path components by "..." until the path
// fits a width in pixels, measured in the font selected into a device
// context. The full path stays with the caller; only the shown text is
// shortened. The shell routine works in the ANSI code page, so characters that
// page lacks are shown as its replacement character.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace wizard::win32 {

// The screen's horizontal twips per pixel as a whole number (15 at 96 dots
// per inch, 12 at 120).
int32_t ScreenTwipsPerPixelX();

// `path` (UTF-8) as PathCompactPathA shortens it to `width_pixels` in the
// font of `hdc`; the text ends before its first NUL character.
std::string CompactPathToPixels(const std::string& path, int32_t width_pixels, HDC hdc);

// The path box's text for `strPath`: `lWidth` is the width available in
// twips, converted with the screen's twips per pixel (integer division).
std::string CompactPathForDisplay(const std::string& strPath, int32_t lWidth, HDC hDC);

}  // namespace wizard::win32
