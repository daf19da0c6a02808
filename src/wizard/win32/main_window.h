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
// area. Tab and the access keys move as in a dialog, Enter and Esc act as
// the form says (PreTranslateMessage, which the message loop must call).
//
// What the window does is the form's (wizard/form.h, invariants F1-F7);
// this class is its controls in Win32: while the run yields only paint
// messages are taken from the queue, and the keys and clicks still waiting
// when it ends are removed from it. The path box compacts its path to its
// own text rectangle (EM_GETRECT), so the file name is never cut by the
// box's margins.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "wizard/form.h"
#include "wizard/open_file_dialog.h"

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

  void Form_Load() { form_.Form_Load(); }
  // Ready page for true, not-found page for false.
  void EnableUpdate(bool bEnable) { form_.EnableUpdate(bEnable); }
  void cmdButton1_Click() { form_.cmdButton1_Click(); }
  void cmdCancel_Click() { form_.cmdCancel_Click(); }
  void cmdBrowse_Click() { form_.cmdBrowse_Click(); }

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
  const std::string& strDatabaseFile() const { return form_.strDatabaseFile(); }
  // The screen's DPI the layout was converted with.
  int dpi_x() const { return dpi_x_; }
  int dpi_y() const { return dpi_y_; }
  HFONT font() const { return font_; }

 private:
  class Controls;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls(HINSTANCE instance);
  void DrawPicture(const DRAWITEMSTRUCT& item) const;
  void SetText(ControlId id, std::string_view text);
  void SetEnabled(ControlId id, bool enabled);
  // The path box's text for `path`, compacted to its text rectangle.
  std::string CompactedForPathBox(const std::string& path) const;
  // Paints what is waiting to be painted, and nothing else (F3).
  void PaintPending();
  // Removes the keys and clicks waiting in the thread's queue (F3).
  void DiscardQueuedInput();
  // The button with the focus, if any.
  std::optional<Button> FocusedButton() const;

  std::unique_ptr<Controls> controls_;
  FormController form_;

  HWND hwnd_ = nullptr;
  HWND tool_tip_ = nullptr;
  HWND saved_focus_ = nullptr;
  HFONT font_ = nullptr;
  HBITMAP picture_ = nullptr;
  int dpi_x_ = 96;
  int dpi_y_ = 96;
  bool quits_on_close_ = false;
};

// Takes every message waiting in the thread's queue through the window's
// keyboard handling and dispatches it; returns when the queue is empty.
void PumpWaitingMessages(MainWindow& window);

// The program's message loop: runs until the window has closed and returns
// the exit code.
int RunMessageLoop(MainWindow& window);

}  // namespace wizard::win32
