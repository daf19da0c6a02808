// frmMain: the wizard's one window. It looks for the calendar database at its
// default place, shows the ready page or the not-found page, lets the user
// choose another file with Browse, runs the update on "Next >" and closes on
// "Finish" or Cancel; closing it ends the program.
//
// Layout: every control's place is given in twips within a client area of
// 6825 x 2985 twips and converted with the screen's logical DPI (455 x 199
// pixels at 96 dpi). The window has a fixed border, no maximise button and
// opens centred. Enter presses the main button while it is enabled, Esc
// presses Cancel while Cancel is enabled.
//
// Invariants:
//   (W1) strDatabaseFile is written only by Form_Load and by a choice in the
//        Browse dialog; the path box shows it compacted and nothing typed
//        into the box is ever read.
//   (W2) The main button's caption is its only state: "Next >" starts a run,
//        "Finish" closes the window, any other caption does nothing.
//   (W3) During a run the window yields once to paint the wait text, with
//        user input held back until the run returns, so Cancel and Browse
//        cannot act mid-run.
//   (W4) Browse stays enabled in every state; a choice always shows the ready
//        page, also after a completed run. Cancel, once disabled by a
//        completed run, stays disabled.
//   (W5) Every handler but Cancel reports its own failure once as
//        "frmMain.<handler>" through the error reporter.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "wizard/file_lookup.h"
#include "wizard/update.h"
#include "wizard/window/platform_dialogs.h"
#include "wizard/window_design.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace wizard::window {

// The default database of this platform. On Windows kWindowsDefaultDatabase;
// elsewhere the calendar program runs under Wine, so the same path inside the
// Wine prefix: $WINEPREFIX (default ~/.wine)/drive_c/Program Files/Tessaly
// Desktop Calendar/tessdata.mdb.
std::string DefaultDatabasePath();

class MainWindow : public QWidget {
 public:
  // `default_database` is the path the load check looks for; `dialog` is
  // the Browse dialog and must outlive the window. The window starts in its
  // design state; call Form_Load() before showing it.
  MainWindow(std::string default_database, OpenFileDialog& dialog, QWidget* parent = nullptr);
  ~MainWindow() override;

  void Form_Load();
  // Ready page for true, not-found page for false.
  void EnableUpdate(bool bEnable);
  void cmdButton1_Click();
  void cmdCancel_Click();
  void cmdBrowse_Click();

  const std::string& strDatabaseFile() const { return strDatabaseFile_; }
  // The status label's text as set, with its CR LF line ends.
  const std::string& status_text() const { return status_text_; }

  QLabel* status_label() const { return lblUpdate_; }
  QLineEdit* path_box() const { return txtDatabaseFile_; }
  QPushButton* browse_button() const { return cmdBrowse_; }
  QPushButton* cancel_button() const { return cmdCancel_; }
  QPushButton* main_button() const { return cmdButton1_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class View;

  void SetStatusText(std::string_view text);

  std::string default_database_;
  OpenFileDialog& dialog_;
  std::string dialog_file_name_;  // persists between openings, as the dialog control's
  std::string strDatabaseFile_;
  std::string status_text_;
  std::unique_ptr<View> view_;

  QLabel* Picture1_;
  QLabel* lblUpdate_;
  QLabel* lblDatabaseFile_;
  QLineEdit* txtDatabaseFile_;
  QPushButton* cmdBrowse_;
  QPushButton* cmdCancel_;
  QPushButton* cmdButton1_;
};

// The icon and the picture, rendered from our drawing at `pixels` square.
QPixmap CalendarClockPixmap(int pixels);

}  // namespace wizard::window
