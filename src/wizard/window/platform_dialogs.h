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

class QWidget;

namespace wizard::window {

// What the Browse button asks of the open-file dialog before each opening.
struct OpenFileSettings {
  std::string title;           // the dialog's caption
  std::string initial_folder;  // the folder shown first
  std::string default_suffix;  // added to a typed name without one, no dot: "mdb"
  std::string filter;          // one entry: "Database Files (*.mdb)"
  bool file_must_exist = true;
  std::string file_name;       // the name the dialog was left with last time
};

class OpenFileDialog {
 public:
  virtual ~OpenFileDialog() = default;
  // Shows the dialog modally. Returns the full path chosen, or the empty
  // string when the user closed it without a choice.
  virtual std::string ShowOpen(const OpenFileSettings& settings) = 0;
};

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
