// What the wizard window shows and where, whichever toolkit draws it: the
// captions and page texts, the layout in twips and the arithmetic that turns
// twips into pixels. The Qt window (window/) and the Win32 window (win32/)
// both build frmMain from these.
//
// Texts are UTF-8; the page texts keep their CR LF line breaks, which each
// toolkit shows as it must.
#pragma once

#include <cstdint>
#include <string_view>

namespace wizard {

inline constexpr std::string_view kWindowCaption = "Tessaly Calendar Update";
inline constexpr std::string_view kNextCaption = "Next >";
inline constexpr std::string_view kReadyText =
    "The Tessaly Calendar Update will update your Tessaly Calendar database. \r\n"
    "Please click Next to begin the update.\r\n\r\n"
    "To update a different database file than the one displayed below, "
    "click the Browse and select the file to update.";
inline constexpr std::string_view kNotFoundText =
    "The Tessaly Calendar Update will update your Tessaly Calendar database. \r\n\r\n"
    "The Tessaly database file is not installed in the default directory.\r\n"
    "Click the Browse button to find the database file yourself.";
// The status label's caption until the load check replaces it.
inline constexpr std::string_view kDesignStatusText = "Label1";
// Captions with "&" before the access key.
inline constexpr std::string_view kPathLabelCaption = "Tessaly &database file:";
inline constexpr std::string_view kBrowseCaption = "&Browse...";
inline constexpr std::string_view kCancelCaption = "Cancel";
inline constexpr std::string_view kPathToolTip = "Enter the file name of the old database file.";

// Where the calendar installs its database on Windows.
inline constexpr std::string_view kWindowsDefaultDatabase =
    "C:\\Program Files\\Tessaly Desktop Calendar\\tessdata.mdb";

// The layout in twips (1/1440 inch): left, top, width, height within the
// client area. Tab order is the order of this list, Picture1 first.
struct TwipsRect {
  int left, top, width, height;
};
inline constexpr int kClientWidthTwips = 6825;
inline constexpr int kClientHeightTwips = 2985;
inline constexpr TwipsRect kPicture1{60, 120, 735, 675};
inline constexpr TwipsRect kLblUpdate{960, 120, 5655, 1155};
inline constexpr TwipsRect kLblDatabaseFile{120, 1500, 1815, 255};
inline constexpr TwipsRect kTxtDatabaseFile{120, 1740, 5595, 315};
inline constexpr TwipsRect kCmdBrowse{5820, 1700, 855, 375};
inline constexpr TwipsRect kCmdCancel{4500, 2460, 975, 375};
inline constexpr TwipsRect kCmdButton1{5700, 2460, 975, 375};
// The picture's side in pixels; it is drawn unscaled at any DPI.
inline constexpr int kPicturePixels = 48;
// The path box's text stays this far inside its edges.
inline constexpr int kPathMarginTwips = 100;
// The layout was drawn for an 8 point dialog font.
inline constexpr int kFontPoints = 8;

// `twips` in pixels at `logical_dpi`, to the nearest pixel (15 twips a pixel
// at 96 dpi, 12 at 120): the client area is 455 x 199 pixels at 96 dpi and
// 569 x 249 at 120.
int TwipsToPixels(int twips, double logical_dpi);

// The screen's twips per pixel as a whole number, rounded half to even
// (15 at 96 dots per inch, 12 at 120): 1440 / `logical_dpi`.
int32_t WholeTwipsPerPixel(double logical_dpi);

// The pixel width for a width in twips: integer division, truncating toward
// zero (5495 twips give 366 pixels at 15 twips per pixel, 457 at 12).
int32_t TwipsToPixelWidth(int32_t twips, int32_t twips_per_pixel);

// The width the path box offers its text, in twips: the box's width of
// `box_pixels` in twips, less kPathMarginTwips, rounded half to even
// (5495 for the 373-pixel box at 96 dpi).
int32_t PathTextWidthTwips(int box_pixels, double logical_dpi);

// What the main button does for its caption, the button's only state: an
// exact, case-sensitive comparison.
enum class MainButtonAction { kStartRun, kClose, kNothing };
MainButtonAction ActionForCaption(std::string_view caption);

}  // namespace wizard
