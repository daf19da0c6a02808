// The path display: the twips arithmetic and the shortening, measured in a
// fixed font so that the expected texts do not depend on the machine.
#include "wizard/window/compact_path.h"

#include <QFont>
#include <QFontMetrics>

#include <gtest/gtest.h>

namespace wizard::window {
namespace {

TEST(CompactPathTest, WidthArithmeticUsesWholeTwipsAndTruncates) {
  struct Case {
    double dpi;
    int32_t twips_per_pixel, pixels_for_5495;
  };
  for (const Case& c : {Case{96, 15, 366}, Case{120, 12, 457}, Case{144, 10, 549},
                        Case{115.2, 12, 457},  // 12.5 twips: half to even
                        Case{72, 20, 274}}) {
    EXPECT_EQ(WholeTwipsPerPixel(c.dpi), c.twips_per_pixel) << c.dpi;
    EXPECT_EQ(TwipsToPixelWidth(5495, c.twips_per_pixel), c.pixels_for_5495) << c.dpi;
  }
}

TEST(CompactPathTest, DropsComponentsNearestTheNameAndKeepsTheNameWhole) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(12);
  const QFontMetrics metrics(font);
  auto width = [&](const char* text) { return metrics.horizontalAdvance(QString::fromUtf8(text)); };
  const char* path = "/home/anna/Documents/Calendar backups/tessdata.mdb";
  struct Case {
    int32_t pixels;
    std::string expected;
  };
  for (const Case& c : {
           Case{width(path), path},  // fits exactly
           Case{width(path) - 1, "/home/anna/Documents/.../tessdata.mdb"},
           Case{width("/home/anna/Documents/.../tessdata.mdb") - 1, "/home/anna/.../tessdata.mdb"},
           Case{width("/home/.../tessdata.mdb"), "/home/.../tessdata.mdb"},
           Case{width("/.../tessdata.mdb") - 1, ".../tessdata.mdb"},
           Case{10, ".../tessdata.mdb"},  // the name alone is wider than the box
       }) {
    EXPECT_EQ(CompactPathToPixels(path, c.pixels, metrics), c.expected) << c.pixels;
  }
  const char* windows_path = "C:\\Program Files\\Tessaly Desktop Calendar\\tessdata.mdb";
  EXPECT_EQ(CompactPathToPixels(windows_path, width(windows_path) - 1, metrics),
            "C:\\Program Files\\...\\tessdata.mdb");
  EXPECT_EQ(CompactPathToPixels("tessdata-with-a-long-name.mdb", 10, metrics),
            "tessdata-with-a-long-name.mdb");
  EXPECT_EQ(CompactPathToPixels(std::string_view("/a/b.mdb\0/c/d", 13), 1000, metrics), "/a/b.mdb");
}

}  // namespace
}  // namespace wizard::window
