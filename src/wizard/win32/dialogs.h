// The window's modal dialogs on Windows: the common open-file dialog of the
// Browse button, and the error reporter's message box (a reporter
// environment whose ShowMessage() is MessageBoxW). Both belong to an owner
// window, which they disable while they are up, and return only when the
// user has closed them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "errors/reporter_environment.h"
#include "wizard/open_file_dialog.h"

namespace wizard::win32 {

// The flags the Browse dialog is opened with: an explorer-style dialog that
// accepts only the name of an existing file, and nothing else.
inline constexpr DWORD kOpenFileFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST;

// The OPENFILENAMEW filter for one entry: description, NUL, pattern, NUL,
// NUL.
std::wstring OpenFileFilter(std::string_view description, std::string_view pattern);

// GetOpenFileNameW with the settings' title, initial folder, one filter
// entry, default extension and kOpenFileFlags; the file-name box starts with
// the name the dialog was left with last time. Cancel answers the empty
// string; a dialog that fails raises errors::RuntimeError.
class Win32OpenFileDialog : public OpenFileDialog {
 public:
  explicit Win32OpenFileDialog(HWND owner = nullptr) : owner_(owner) {}
  void set_owner(HWND owner) { owner_ = owner; }
  std::string ShowOpen(const OpenFileSettings& settings) override;

 private:
  HWND owner_;
};

// The system environment of the error reporter with MessageBoxW as its box:
// the style is passed as the box's type (64, the information icon with one
// OK button).
class Win32ReporterEnvironment : public errors::SystemReporterEnvironment {
 public:
  explicit Win32ReporterEnvironment(HWND owner = nullptr) : owner_(owner) {}
  void set_owner(HWND owner) { owner_ = owner; }
  void ShowMessage(std::string_view text, std::string_view title, int32_t style) override;

 private:
  HWND owner_;
};

}  // namespace wizard::win32
