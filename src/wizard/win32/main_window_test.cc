// The Win32 controls of the form (its behaviour is tested with fake controls
// in wizard/form_test.cc), driven through their messages: layout, the load
// check's lookup, the path box's compaction, the yield that paints only,
// input queued during a run dropped (a double click on "Next >"), the keys
// as the message loop delivers them, the focus on "Finish" and a close
// asked for during a run. The Browse dialog and the message box are scripted.
#include "wizard/win32/main_window.h"

#include <commctrl.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "database/connection.h"
#include "support/shared_copy.h"
#include "support/win32_window.h"
#include "wizard/window_design.h"

namespace wizard::win32 {
namespace {

using testing::MakeFile;
using testing::RecordingEnvironment;
using testing::ScriptedDialog;
using testing::TempFolder;
using testing::Utf8Path;

const std::string kReady(kReadyText);
const std::string kNotFound(kNotFoundText);

// The shared test calendar, as Wine sees the Linux folder.
std::string SharedCalendar() {
  std::string path = tessaly::testing::SharedPath("fixtures", "tessdata-2009.mdb").string();
  if (path.starts_with('/')) path = "Z:" + path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// Records the text the label shows each time it paints.
LRESULT CALLBACK RecordPaint(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                             DWORD_PTR painted) {
  if (message == WM_PAINT)
    reinterpret_cast<std::vector<std::string>*>(painted)->push_back(testing::WindowText(window));
  return DefSubclassProc(window, message, wparam, lparam);
}

RECT ClientRectOf(HWND control, HWND parent) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void TearDown() override { database::gDatabaseConnection.reset(); }

  // The window's page as its controls show it.
  struct Page {
    std::string status, path_box, main_caption;
    bool main_enabled, cancel_enabled, browse_enabled;
    friend bool operator==(const Page&, const Page&) = default;
  };
  static Page PageOf(const MainWindow& window) {
    return {window.Text(ControlId::lblUpdate),      window.Text(ControlId::txtDatabaseFile),
            window.Text(ControlId::cmdButton1),     window.IsEnabled(ControlId::cmdButton1),
            window.IsEnabled(ControlId::cmdCancel), window.IsEnabled(ControlId::cmdBrowse)};
  }
  static void Key(MainWindow& window, ControlId target, UINT message, WPARAM key) {
    PostMessageW(window.control(target), message, key, message == WM_SYSCHAR ? 1 << 29 : 0);
    PumpWaitingMessages(window);
  }

  TempFolder folder_;
  RecordingEnvironment environment_{Utf8Path(folder_)};
  errors::ScopedReporterEnvironment scope_{environment_};
  ScriptedDialog dialog_;
};

TEST_F(MainWindowTest, LayoutFollowsTheTwipsAtTheScreensDpi) {
  MainWindow window("", dialog_);
  ASSERT_TRUE(window.is_open());
  const int dpi = window.dpi_x();
  RECT client;
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, dpi));
  EXPECT_EQ(client.bottom, TwipsToPixels(kClientHeightTwips, window.dpi_y()));
  if (dpi == 96) {
    EXPECT_EQ(client.right * 1000 + client.bottom, 455199);
  } else if (dpi == 120) {
    EXPECT_EQ(client.right * 1000 + client.bottom, 569249);
  }

  struct Case {
    ControlId id;
    TwipsRect twips;
  };
  for (const Case& c :
       {Case{ControlId::Picture1, kPicture1}, Case{ControlId::lblUpdate, kLblUpdate},
        Case{ControlId::lblDatabaseFile, kLblDatabaseFile},
        Case{ControlId::txtDatabaseFile, kTxtDatabaseFile}, Case{ControlId::cmdBrowse, kCmdBrowse},
        Case{ControlId::cmdCancel, kCmdCancel}, Case{ControlId::cmdButton1, kCmdButton1}}) {
    const RECT r = ClientRectOf(window.control(c.id), window.hwnd());
    EXPECT_EQ(r.left, TwipsToPixels(c.twips.left, dpi)) << static_cast<int>(c.id);
    EXPECT_EQ(r.top, TwipsToPixels(c.twips.top, dpi)) << static_cast<int>(c.id);
    EXPECT_EQ(r.right - r.left, TwipsToPixels(c.twips.width, dpi)) << static_cast<int>(c.id);
    EXPECT_EQ(r.bottom - r.top, TwipsToPixels(c.twips.height, dpi)) << static_cast<int>(c.id);
  }

  const LONG_PTR style = GetWindowLongPtrW(window.hwnd(), GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_EQ(testing::WindowText(window.hwnd()), "Tessaly Calendar Update");
  EXPECT_EQ(window.Text(ControlId::lblDatabaseFile), "Tessaly &database file:");
  EXPECT_EQ(window.Text(ControlId::cmdBrowse), "&Browse...");
  EXPECT_EQ(PageOf(window), (Page{"Label1", "", "Next >", true, true, true}));  // design state

  // Tab order: path box, Browse, Cancel, the main button, round again.
  HWND at = window.control(ControlId::txtDatabaseFile);
  for (ControlId next : {ControlId::cmdBrowse, ControlId::cmdCancel, ControlId::cmdButton1,
                         ControlId::txtDatabaseFile}) {
    at = GetNextDlgTabItem(window.hwnd(), at, FALSE);
    EXPECT_EQ(at, window.control(next)) << static_cast<int>(next);
  }
}

TEST_F(MainWindowTest, LoadFindsOnlyAListedFile) {
  const std::string plain = MakeFile(folder_, "tessdata.mdb");
  struct Case {
    std::string path;
    bool found;
  };
  for (const Case& c :
       {Case{plain, true}, Case{MakeFile(folder_, "readonly.mdb", FILE_ATTRIBUTE_READONLY), true},
        Case{MakeFile(folder_, "hidden.mdb", FILE_ATTRIBUTE_HIDDEN), false},
        Case{MakeFile(folder_, "system.mdb", FILE_ATTRIBUTE_SYSTEM), false},
        Case{Utf8Path(folder_), false}, Case{Utf8Path(folder_) + "\\missing.mdb", false},
        Case{plain + "\\below-a-file.mdb", false}}) {
    MainWindow window(c.path, dialog_);
    window.Form_Load();
    EXPECT_EQ(PageOf(window), c.found ? (Page{kReady, c.path, "Next >", true, true, true})
                                      : (Page{kNotFound, "", "Next >", false, true, true}))
        << c.path;
    EXPECT_EQ(window.strDatabaseFile(), c.found ? c.path : "");
  }
  EXPECT_TRUE(environment_.boxes.empty());

  MainWindow bad_name(Utf8Path(folder_) + "\\a|b.mdb", dialog_);
  bad_name.Form_Load();  // reported; the window stays as designed
  EXPECT_EQ(environment_.Modules(), std::vector<std::string>{"frmMain.Form_Load"});
  EXPECT_NE(environment_.boxes[0].find("Error Number: \t52\r\n"), std::string::npos);
  EXPECT_EQ(PageOf(bad_name), (Page{"Label1", "", "Next >", true, true, true}));
}

TEST_F(MainWindowTest, ADoubleClickOnNextLeavesTheFinishPageShowing) {
  // In a folder named with an umlaut, CJK characters and a character
  // outside the BMP.
  const std::string folder =
      Utf8Path(folder_) + "\\Pfarrei J\xC3\xBCrgen \xE6\x95\x99\xE4\xBC\x9A \xF0\x9F\x93\x85";
  ASSERT_TRUE(CreateDirectoryW(platform::Widen(folder).c_str(), nullptr));
  const std::string calendar = folder + "\\tessdata.mdb";
  ASSERT_TRUE(
      CopyFileW(platform::Widen(SharedCalendar()).c_str(), platform::Widen(calendar).c_str(), TRUE))
      << SharedCalendar();
  MainWindow window(calendar, dialog_);
  window.Form_Load();
  window.Show(SW_SHOWNOACTIVATE);
  // The second click of the double click waits in the queue while the first
  // one's run is busy.
  HWND next = window.control(ControlId::cmdButton1);
  const LPARAM middle = MAKELPARAM(10, 10);
  for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    PostMessageW(next, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, middle);
  window.cmdButton1_Click();
  PumpWaitingMessages(window);
  ASSERT_TRUE(window.is_open());
  EXPECT_EQ(PageOf(window), (Page{std::string(kCompletedText), PageOf(window).path_box, "Finish",
                                  true, false, true}));
  EXPECT_EQ(GetFocus(), next);
  EXPECT_TRUE(environment_.boxes.empty()) << environment_.boxes[0];
  EXPECT_EQ(window.strDatabaseFile(), calendar);
  const std::string shown = window.Text(ControlId::txtDatabaseFile);
  EXPECT_TRUE(shown.ends_with("\\tessdata.mdb")) << shown;
  EXPECT_EQ(shown.find("\xC3\x83"), std::string::npos) << shown;  // no "Ã" for "ü"
  Key(window, ControlId::cmdButton1, WM_KEYDOWN, VK_RETURN);      // Enter on "Finish"
  EXPECT_FALSE(window.is_open());
}

TEST_F(MainWindowTest, TheRunPaintsTheWaitTextAndDropsInputQueuedMeanwhile) {
  MainWindow window(Utf8Path(folder_) + "\\missing.mdb", dialog_);
  window.Form_Load();
  window.Show(SW_SHOWNOACTIVATE);
  dialog_.answers = {MakeFile(folder_, "notes.mdb")};
  window.cmdBrowse_Click();
  PumpWaitingMessages(window);

  // Everything waits to be painted again: only the run's yield can paint
  // the label before the open step.
  RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
  std::vector<std::string> painted;
  HWND label = window.control(ControlId::lblUpdate);
  ASSERT_TRUE(SetWindowSubclass(label, RecordPaint, 1, reinterpret_cast<DWORD_PTR>(&painted)));
  HWND box = window.control(ControlId::txtDatabaseFile);
  PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);  // Esc waiting when the run starts
  bool key_waiting = false;
  std::vector<std::string> painted_before_open;
  // The open step fails on a file that is no calendar and shows its box:
  // by then the wait text must be on the screen and Esc still queued.
  environment_.while_shown = [&] {
    painted_before_open = painted;
    MSG message;
    key_waiting = PeekMessageW(&message, box, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE) &&
                  message.wParam == VK_ESCAPE;
  };
  window.cmdButton1_Click();
  RemoveWindowSubclass(label, RecordPaint, 1);

  EXPECT_EQ(painted_before_open, std::vector<std::string>{std::string(kWaitText)});
  EXPECT_TRUE(key_waiting);
  EXPECT_EQ(environment_.Modules(), std::vector<std::string>{"frmMain.OpenDatabase"});
  EXPECT_EQ(PageOf(window).status, kWaitText);  // stopped
  EXPECT_FALSE(window.IsEnabled(ControlId::cmdButton1));
  EXPECT_TRUE(window.IsEnabled(ControlId::cmdCancel));
  PumpWaitingMessages(window);  // the Esc typed during the run is gone
  EXPECT_TRUE(window.is_open());
}

TEST_F(MainWindowTest, ThePathBoxShowsTheFileNameWholeAtTheScreensDpi) {
  MainWindow window(Utf8Path(folder_) + "\\missing.mdb", dialog_);
  window.Form_Load();
  const std::string chosen =
      "C:\\Users\\J\xC3\xBCrgen\\a folder with a long name\\and another\\"
      "and one more\\calendar backups\\tessdata.mdb";
  dialog_.answers = {chosen};
  window.cmdBrowse_Click();
  EXPECT_EQ(window.strDatabaseFile(), chosen);
  HWND box = window.control(ControlId::txtDatabaseFile);
  const std::wstring shown = platform::Widen(window.Text(ControlId::txtDatabaseFile));
  EXPECT_NE(shown.find(L"..."), std::wstring::npos);
  EXPECT_TRUE(shown.ends_with(L"\\tessdata.mdb")) << platform::Narrow(shown);
  // Drawn in the box's font, it fits the box's own text rectangle.
  RECT text = {};
  SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
  HDC dc = GetDC(box);
  HGDIOBJ previous =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(box, WM_GETFONT, 0, 0)));
  SIZE size = {};
  GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
  SelectObject(dc, previous);
  ReleaseDC(box, dc);
  EXPECT_LE(size.cx, text.right - text.left) << "at " << window.dpi_x() << " dpi";
  std::printf("path box at %d dpi: %s\n", window.dpi_x(), platform::Narrow(shown).c_str());
}

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonAndAccessKeysMove) {
  MainWindow window(Utf8Path(folder_) + "\\missing.mdb", dialog_);
  window.Form_Load();
  window.Show();
  Key(window, ControlId::txtDatabaseFile, WM_KEYDOWN, VK_RETURN);  // "Next >" is disabled
  EXPECT_TRUE(environment_.boxes.empty());
  EXPECT_EQ(PageOf(window).status, kNotFound);
  SetFocus(window.control(ControlId::cmdBrowse));
  Key(window, ControlId::cmdBrowse, WM_KEYDOWN, VK_RETURN);  // Enter on Browse: the chooser
  EXPECT_EQ(dialog_.opened.size(), 1u);

  SetFocus(window.control(ControlId::cmdCancel));
  Key(window, ControlId::cmdCancel, WM_SYSCHAR, 'd');  // Alt+D: to the path box
  EXPECT_EQ(GetFocus(), window.control(ControlId::txtDatabaseFile));
  Key(window, ControlId::txtDatabaseFile, WM_KEYDOWN, VK_TAB);
  EXPECT_EQ(GetFocus(), window.control(ControlId::cmdBrowse));
  Key(window, ControlId::cmdBrowse, WM_SYSCHAR, 'b');  // Alt+B: Browse
  EXPECT_EQ(dialog_.opened.size(), 2u);
  SetFocus(window.control(ControlId::cmdCancel));
  Key(window, ControlId::cmdCancel, WM_KEYDOWN, VK_RETURN);  // Enter on Cancel: closed
  EXPECT_FALSE(window.is_open());

  MainWindow escaped(MakeFile(folder_, "notes.mdb"), dialog_);
  escaped.Form_Load();
  escaped.Show();
  Key(escaped, ControlId::txtDatabaseFile, WM_KEYDOWN, VK_RETURN);  // a run that fails to open
  EXPECT_EQ(environment_.Modules(), std::vector<std::string>{"frmMain.OpenDatabase"});
  Key(escaped, ControlId::cmdBrowse, WM_KEYDOWN, VK_ESCAPE);
  EXPECT_FALSE(escaped.is_open());
}

TEST_F(MainWindowTest, ACloseAskedForDuringTheRunWaitsForTheRun) {
  MainWindow window(MakeFile(folder_, "notes.mdb"), dialog_);
  window.Form_Load();
  environment_.while_shown = [&] {
    SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(window.is_open());
  };
  window.cmdButton1_Click();
  EXPECT_EQ(environment_.boxes.size(), 1u);
  EXPECT_FALSE(window.is_open());
}

}  // namespace
}  // namespace wizard::win32
