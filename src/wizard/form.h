// frmMain's behaviour, whichever toolkit draws it: the load check, the two
// pages, the buttons and keys, the update run and what a close request does
// while it is on. Each toolkit's window (window/ Qt, win32/ Win32)
// implements FormControls over its own controls and hands its clicks, keys
// and close requests to a FormController.
//
// Invariants:
//   (F1) strDatabaseFile is written only by Form_Load, by a choice in the
//        Browse dialog (each time the file's VirtualStore copy when there is
//        one) and by a run that moved to the copy; the path box shows it
//        compacted and nothing typed into the box is ever read.
//   (F2) The main button's caption is its only state: "Next >" starts a run,
//        "Finish" closes the window, any other caption does nothing.
//   (F3) A run yields once, to paint the wait text; input waits in the queue
//        meanwhile, and what waits there when the run has ended is dropped,
//        so a double click on "Next >" never lands on "Finish". A close asked
//        for while a run is on the stack (a message box of the run processes
//        events) waits until the run has returned.
//   (F4) Browse stays enabled in every state; a choice always shows the ready
//        page. Cancel, once disabled by a completed run, stays disabled.
//   (F5) Every handler but Cancel reports its own failure once as
//        "frmMain.<handler>" through the error reporter.
//   (F6) Enter presses the focused button; anywhere else (the path box) it
//        presses the main button. Esc presses Cancel. A disabled button is
//        never pressed.
//   (F7) A completed run leaves the focus on "Finish".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "wizard/open_file_dialog.h"
#include "wizard/update.h"

namespace wizard {

enum class Button { kBrowse, kCancel, kMain };

// The window's controls as the form uses them. Texts are UTF-8.
class FormControls {
 public:
  virtual ~FormControls() = default;
  virtual void SetStatusText(std::string_view text) = 0;
  // Shows `path` in the path box, compacted to the box's width; "" empties it.
  virtual void ShowPath(const std::string& path) = 0;
  virtual std::string MainCaption() = 0;
  virtual void SetMainCaption(std::string_view caption) = 0;
  virtual bool IsEnabled(Button button) = 0;
  // A button that loses the focus by being disabled passes it on.
  virtual void SetEnabled(Button button, bool enabled) = 0;
  virtual void Focus(Button button) = 0;
  // Paints what waits to be painted and returns; input stays queued.
  virtual void PaintPending() = 0;
  // Drops the keys and clicks waiting in the window's queue.
  virtual void DiscardQueuedInput() = 0;
  // Closes the window now, which ends the program.
  virtual void Unload() = 0;
};

// The platform's default database: kWindowsDefaultDatabase on Windows;
// elsewhere the calendar runs under Wine, so the same file in the Wine
// prefix's drive C (platform/known_folders.h).
std::string DefaultDatabasePath();

class FormController {
 public:
  // `default_database` is the file the load check looks for; `dialog` is the
  // Browse dialog. Both `controls` and `dialog` must outlive the controller.
  FormController(FormControls& controls, OpenFileDialog& dialog, std::string default_database);
  ~FormController();
  FormController(const FormController&) = delete;
  FormController& operator=(const FormController&) = delete;

  void Form_Load();
  // Ready page for true, not-found page for false.
  void EnableUpdate(bool bEnable);
  void cmdButton1_Click();
  void cmdCancel_Click();
  void cmdBrowse_Click();

  // Enter with the focus on `focused`, or on no button (the path box) (F6).
  void EnterPressed(std::optional<Button> focused);
  void EscapePressed();
  // The window's close box, Alt+F4, the system menu: closes the window, or
  // once the run on the stack has returned (F3).
  void CloseRequested();

  const std::string& strDatabaseFile() const { return strDatabaseFile_; }
  bool running() const { return running_; }

 private:
  class RunView;

  FormControls& controls_;
  OpenFileDialog& dialog_;
  std::string default_database_;
  std::string dialog_file_name_;  // persists between openings, as the dialog control's
  std::string strDatabaseFile_;
  bool running_ = false;
  bool close_requested_ = false;
};

}  // namespace wizard
