// The twips arithmetic of the window's layout and path box, and the main
// button's captions.
#include "wizard/window_design.h"

#include <gtest/gtest.h>

namespace wizard {
namespace {

TEST(WindowDesignTest, ClientAreaAndPathWidthAtCommonDpis) {
  struct Case {
    double dpi;
    int client_width, client_height, path_box;
    int32_t path_text_twips, twips_per_pixel, path_text_pixels;
  };
  for (const Case& c :
       {Case{96, 455, 199, 373, 5495, 15, 366}, Case{120, 569, 249, 466, 5492, 12, 457},
        Case{144, 683, 299, 560, 5500, 10, 550}}) {
    EXPECT_EQ(TwipsToPixels(kClientWidthTwips, c.dpi), c.client_width) << c.dpi;
    EXPECT_EQ(TwipsToPixels(kClientHeightTwips, c.dpi), c.client_height) << c.dpi;
    const int box = TwipsToPixels(kTxtDatabaseFile.width, c.dpi);
    EXPECT_EQ(box, c.path_box) << c.dpi;
    EXPECT_EQ(PathTextWidthTwips(box, c.dpi), c.path_text_twips) << c.dpi;
    EXPECT_EQ(WholeTwipsPerPixel(c.dpi), c.twips_per_pixel) << c.dpi;
    EXPECT_EQ(TwipsToPixelWidth(c.path_text_twips, c.twips_per_pixel), c.path_text_pixels) << c.dpi;
  }
  EXPECT_EQ(WholeTwipsPerPixel(115.2), 12);   // 12.5 twips: half to even
  EXPECT_EQ(TwipsToPixelWidth(-29, 15), -1);  // toward zero
}

TEST(WindowDesignTest, OnlyTheExactCaptionsAct) {
  struct Case {
    std::string_view caption;
    MainButtonAction action;
  };
  for (const Case& c :
       {Case{"Next >", MainButtonAction::kStartRun}, Case{"Finish", MainButtonAction::kClose},
        Case{"finish", MainButtonAction::kNothing}, Case{"Next > ", MainButtonAction::kNothing},
        Case{"", MainButtonAction::kNothing}}) {
    EXPECT_EQ(ActionForCaption(c.caption), c.action) << c.caption;
  }
}

}  // namespace
}  // namespace wizard
