// frmMain: the wizard's one window. It looks for the calendar database at its
// default place, shows the ready page or the not-found page, lets the user
// choose another file with Browse, runs the update on "Next >" and closes on
// "Finish" or Cancel; closing it ends the program.
//
// Layout: every control's place is given in twips within a client area of
// 6825 x 2985 twips and converted with the screen's logical DPI (455 x 199
// pixels at 96 dpi). The window has a fixed border, no maximise button and
// opens centred.
//
// What the window does is the form's (wizard/form.h, invariants F1-F7); this
// class is its controls in Qt: while the run yields only painting is done
// (user input is held back), and the input held when the run ends is dropped.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "wizard/form.h"
#include "wizard/window/platform_dialogs.h"
#include "wizard/window_design.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace wizard::window {

class MainWindow : public QWidget {
 public:
  // `default_database` is the path the load check looks for; `dialog` is
  // the Browse dialog and must outlive the window. The window starts in its
  // design state; call Form_Load() before showing it.
  MainWindow(std::string default_database, OpenFileDialog& dialog, QWidget* parent = nullptr);
  ~MainWindow() override;

  void Form_Load() { form_.Form_Load(); }
  // Ready page for true, not-found page for false.
  void EnableUpdate(bool bEnable) { form_.EnableUpdate(bEnable); }
  void cmdButton1_Click() { form_.cmdButton1_Click(); }
  void cmdCancel_Click() { form_.cmdCancel_Click(); }
  void cmdBrowse_Click() { form_.cmdBrowse_Click(); }

  const std::string& strDatabaseFile() const { return form_.strDatabaseFile(); }
  // The status label's text as set, with its CR LF line ends.
  const std::string& status_text() const { return status_text_; }

  QLabel* status_label() const { return lblUpdate_; }
  QLineEdit* path_box() const { return txtDatabaseFile_; }
  QPushButton* browse_button() const { return cmdBrowse_; }
  QPushButton* cancel_button() const { return cmdCancel_; }
  QPushButton* main_button() const { return cmdButton1_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Controls;

  QPushButton* ButtonOf(Button button) const;
  void SetStatusText(std::string_view text);

  std::string status_text_;
  bool discarding_input_ = false;
  std::unique_ptr<Controls> controls_;
  FormController form_;

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
