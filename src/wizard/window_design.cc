// Twips arithmetic and the main button's decision: see window_design.h.
#include "wizard/window_design.h"

#include <cmath>

#include "wizard/update.h"

namespace wizard {

int TwipsToPixels(int twips, double logical_dpi) {
  return static_cast<int>(std::lround(twips * logical_dpi / 1440.0));
}

int32_t WholeTwipsPerPixel(double logical_dpi) {
  if (!(logical_dpi > 0)) return 15;
  // nearbyint rounds half to even in the default rounding mode.
  return static_cast<int32_t>(std::nearbyint(1440.0 / logical_dpi));
}

int32_t TwipsToPixelWidth(int32_t twips, int32_t twips_per_pixel) {
  if (twips_per_pixel <= 0) return 0;
  return twips / twips_per_pixel;
}

int32_t PathTextWidthTwips(int box_pixels, double logical_dpi) {
  if (!(logical_dpi > 0)) logical_dpi = 96;
  const double box_twips = box_pixels * 1440.0 / logical_dpi;
  return static_cast<int32_t>(std::nearbyint(box_twips - kPathMarginTwips));
}

MainButtonAction ActionForCaption(std::string_view caption) {
  if (caption == kNextCaption) return MainButtonAction::kStartRun;
  if (caption == kFinishCaption) return MainButtonAction::kClose;
  return MainButtonAction::kNothing;
}

}  // namespace wizard
