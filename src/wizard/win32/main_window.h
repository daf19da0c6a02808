// frmMain on Windows: the wizard's one window in plain Win32. It looks for the
// calendar database at its default place (or the user's VirtualStore copy of
// it), shows the ready page or the not-found page, lets the user choose
// another file with Browse, runs the update on "Next >" and closes on
// "Finish" or Cancel.
//
// Layout: every control's place is given in twips (wizard/window_design.h)
// and converted with the screen's real DPI, read once when the window is
// made (the program is DPI aware through its manifest): a client area of
// 455 x 199 pixels at 96 dpi, 569 x 249 at 120. The window has a fixed
// border, a minimise but no maximise button, and opens centred on the work
// area. Enter presses the main button while it is enabled, Esc presses
// Cancel while Cancel is enabled; Tab and the access keys move as in a
// dialog (PreTranslateMessage, which the message loop must call).
//
// Invariants:
//   (M1) strDatabaseFile is written only by Form_Load and by a choice in the
//        Browse dialog, each time as the VirtualStore copy of the file when
//        there is one; the path box shows it compacted and nothing typed into
//        the box is ever read.
//   (M2) The main button's caption is its only state: "Next >" starts a run,
//        "Finish" closes the window, any other caption does nothing.
//   (M3) During a run the window yields once to paint the wait text; input
//        and posted messages stay in the queue until the run has returned.
//        A close asked for while a run is on the stack (a message box of the
//        run dispatches messages) waits until the run has returned.
//   (M4) Browse stays enabled in every state; a choice always shows the ready
//        page. Cancel, once disabled by a completed run, stays disabled.
//   (M5) Every handler but Cancel reports its own failure once as
//        "frmMain.<handler>" through the error reporter.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "wizard/open_file_dialog.h"
#include "wizard/update.h"

namespace wizard::win32 {

// The controls' ids, in tab order, named as the controls are.
enum class ControlId : int {
  Picture1 = 100,
  lblUpdate,
  lblDatabaseFile,
  txtDatabaseFile,
  cmdBrowse,
  cmdCancel,
  cmdButton1,
};

class MainWindow {
 public:
  // Makes the window, hidden and in its design state (status "Label1", empty
  // path box, "Next >" enabled); call Form_Load() and Show(). The load check
  // looks for `default_database`; `dialog` is the Browse dialog and must
  // outlive the window. is_open() is false when the system could not make it.
  MainWindow(std::string default_database, OpenFileDialog& dialog,
             HINSTANCE instance = GetModuleHandleW(nullptr));
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  void Form_Load();
  // Ready page for true, not-found page for false.
  void EnableUpdate(bool bEnable);
  void cmdButton1_Click();
  void cmdCancel_Click();
  void cmdBrowse_Click();

  // Shows the window centred on the work area, with the focus in the path box.
  void Show(int show_command = SW_SHOWNORMAL);
  // The window's keyboard handling for a message just taken from the queue
  // (Enter, Esc, Tab, access keys). True when the message has been handled
  // and must not be dispatched again.
  bool PreTranslateMessage(MSG& message);
  // When true, closing the window ends the thread's message loop.
  void set_quits_on_close(bool quits) { quits_on_close_ = quits; }

  bool is_open() const { return hwnd_ != nullptr; }
  HWND hwnd() const { return hwnd_; }
  // The control's window, nullptr once the window is closed.
  HWND control(ControlId id) const;
  // The control's text (UTF-8) and enabled state.
  std::string Text(ControlId id) const;
  bool IsEnabled(ControlId id) const;
  const std::string& strDatabaseFile() const { return strDatabaseFile_; }
  // The screen's DPI the layout was converted with.
  int dpi_x() const { return dpi_x_; }
  int dpi_y() const { return dpi_y_; }
  HFONT font() const { return font_; }

 private:
  class View;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls(HINSTANCE instance);
  void DrawPicture(const DRAWITEMSTRUCT& item) const;
  void SetText(ControlId id, std::string_view text);
  void SetEnabled(ControlId id, bool enabled);
  void Click(ControlId id);
  // Paints what is waiting to be painted, and nothing else (M3).
  void PaintPending();
  // Closes the window, or asks for it once the run has returned (M3).
  void Unload();

  std::string default_database_;
  OpenFileDialog& dialog_;
  std::string dialog_file_name_;  // persists between openings, as the dialog control's
  std::string strDatabaseFile_;
  std::unique_ptr<View> view_;

  HWND hwnd_ = nullptr;
  HWND tool_tip_ = nullptr;
  HWND saved_focus_ = nullptr;
  HFONT font_ = nullptr;
  HBITMAP picture_ = nullptr;
  int dpi_x_ = 96;
  int dpi_y_ = 96;
  bool quits_on_close_ = false;
  bool running_ = false;
  bool close_requested_ = false;
};

// Takes every message waiting in the thread's queue through the window's
// keyboard handling and dispatches it; returns when the queue is empty.
void PumpWaitingMessages(MainWindow& window);

// The program's message loop: runs until the window has closed and returns
// the exit code.
int RunMessageLoop(MainWindow& window);

}  // namespace wizard::win32
