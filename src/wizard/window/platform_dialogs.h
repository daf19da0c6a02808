// The window's modal dialogs behind small interfaces, so that tests can fake
// them: the open-file dialog of the Browse button, and the error reporter's
// message box (a reporter environment whose ShowMessage() is a real box).
//
// Both run on the window's thread and return only when the user has closed
// them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "errors/reporter_environment.h"
#include "wizard/open_file_dialog.h"

class QWidget;

namespace wizard::window {

using wizard::OpenFileDialog;
using wizard::OpenFileSettings;

// The toolkit's own file dialog (QFileDialog), owned by `parent`'s window.
class QtOpenFileDialog : public OpenFileDialog {
 public:
  explicit QtOpenFileDialog(QWidget* parent = nullptr) : parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }
  std::string ShowOpen(const OpenFileSettings& settings) override;

 private:
  QWidget* parent_;
};

// The system environment of the error reporter with a real modal message
// box: the given title, the information icon for kInformation and one OK
// button; the text's CR LF line ends are shown as line breaks.
class QtReporterEnvironment : public errors::SystemReporterEnvironment {
 public:
  explicit QtReporterEnvironment(QWidget* parent = nullptr) : parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }
  void ShowMessage(std::string_view text, std::string_view title, int32_t style) override;

 private:
  QWidget* parent_;
};

}  // namespace wizard::window
