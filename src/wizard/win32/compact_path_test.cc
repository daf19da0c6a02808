// The path box's text from the shell's own PathCompactPathA, measured in the
// window's font: the properties that hold whatever the font's metrics.
#include "wizard/win32/compact_path.h"

#include <gtest/gtest.h>

#include "platform/unicode_win32.h"
#include "support/win32_window.h"
#include "wizard/win32/main_window.h"

namespace wizard::win32 {
namespace {

class CompactPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window_.is_open());
    dc_ = GetDC(window_.hwnd());
    previous_ = SelectObject(dc_, window_.font());
  }
  void TearDown() override {
    SelectObject(dc_, previous_);
    ReleaseDC(window_.hwnd(), dc_);
  }
  int Width(const std::string& text) const {
    const std::wstring wide = platform::Widen(text);
    SIZE size{};
    GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size);
    return size.cx;
  }

  testing::ScriptedDialog dialog_;
  MainWindow window_{"", dialog_};
  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

TEST_F(CompactPathTest, ShortensToTheWidthAndKeepsTheFileName) {
  const std::string path = "C:\\Users\\anna\\Documents\\Calendar backups\\2009\\tessdata.mdb";
  const int whole = Width(path);
  struct Case {
    int pixels;
    bool unchanged;
  };
  for (const Case& c : {Case{whole + 20, true}, Case{whole, true}, Case{whole - 1, false},
                        Case{whole / 2, false}, Case{Width("C:\\...\\tessdata.mdb"), false}}) {
    const std::string shown = CompactPathToPixels(path, c.pixels, dc_);
    if (c.unchanged) {
      EXPECT_EQ(shown, path) << c.pixels;
      continue;
    }
    EXPECT_NE(shown.find("..."), std::string::npos) << c.pixels << " " << shown;
    EXPECT_TRUE(shown.ends_with("\\tessdata.mdb")) << c.pixels << " " << shown;
    EXPECT_LE(Width(shown), c.pixels) << shown;
  }
  // Narrower than the file name: the name is never cut.
  EXPECT_NE(CompactPathToPixels(path, 10, dc_).find("tessdata.mdb"), std::string::npos);
}

TEST_F(CompactPathTest, WorksInTheAnsiCodePageUpToTheFirstNul) {
  ASSERT_EQ(GetACP(), 1252u) << "the cases assume Western European Windows";
  struct Case {
    std::string path, shown;
  };
  for (const Case& c : {Case{"C:\\Kalender\\Gemeinde M\xC3\xBCnster\\tessdata.mdb",
                             "C:\\Kalender\\Gemeinde M\xC3\xBCnster\\tessdata.mdb"},  // in 1252
                        Case{"C:\\\xCE\xA9mega\\tessdata.mdb", "C:\\?mega\\tessdata.mdb"},
                        Case{std::string("C:\\a.mdb\0C:\\b.mdb", 17), "C:\\a.mdb"}}) {
    EXPECT_EQ(CompactPathToPixels(c.path, 1000, dc_), c.shown);
  }
}

}  // namespace
}  // namespace wizard::win32
