// Test support for the Windows window: files with attributes in a temporary
// folder, a reporter environment that records its boxes (and can look at the
// window while a box would be up), a scripted Browse dialog, and a hook that
// answers the next modal dialog of the thread.
#pragma once

#include <windows.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "errors/reporter_environment.h"
#include "platform/unicode_win32.h"
#include "support/scripted_open_file_dialog.h"
#include "support/temp_folder.h"

namespace wizard::win32::testing {

using wizard::testing::ScriptedDialog;

using tessaly::testing::TempFolder;

// A folder's path in UTF-8, with "\" separators.
inline std::string Utf8Path(const TempFolder& folder) {
  return platform::Narrow(folder.path().wstring());
}

// Makes `name` in `folder` with the given attributes; returns its path.
inline std::string MakeFile(const TempFolder& folder, const std::string& name,
                            DWORD attributes = FILE_ATTRIBUTE_NORMAL,
                            const std::string& contents = "not a calendar") {
  const std::string file = Utf8Path(folder) + "\\" + name;
  HANDLE handle = CreateFileW(platform::Widen(file).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(handle, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  CloseHandle(handle);
  SetFileAttributesW(platform::Widen(file).c_str(), attributes);
  return file;
}

// The system's environment with the box replaced by a record; `while_shown`
// runs where the box would wait for the user.
class RecordingEnvironment : public errors::SystemReporterEnvironment {
 public:
  explicit RecordingEnvironment(std::string app_path) : app_path_(std::move(app_path)) {}
  void ShowMessage(std::string_view text, std::string_view, int32_t) override {
    boxes.emplace_back(text);
    if (while_shown) while_shown();
  }
  std::string AppPath() override { return app_path_; }

  // The "Module:" line of each box shown.
  std::vector<std::string> Modules() const {
    std::vector<std::string> modules;
    for (const std::string& box : boxes) {
      const size_t start = box.find("Module: \t\t") + 10;
      modules.push_back(box.substr(start, box.find('\r', start) - start));
    }
    return modules;
  }

  std::vector<std::string> boxes;
  std::function<void()> while_shown;

 private:
  std::string app_path_;
};

// Calls `answer` with the next modal dialog window the thread activates (the
// open-file dialog, a message box), while it waits for the user; `answer`
// must close it.
class NextDialog {
 public:
  explicit NextDialog(std::function<void(HWND)> answer) : answer_(std::move(answer)) {
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, &NextDialog::Hook, nullptr, GetCurrentThreadId());
  }
  ~NextDialog() {
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  NextDialog(const NextDialog&) = delete;
  NextDialog& operator=(const NextDialog&) = delete;

 private:
  // Once the dialog is active and has its controls, answer it from the queue.
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && current_ != nullptr && !current_->answered_) {
      current_->answered_ = true;
      current_->dialog_ = reinterpret_cast<HWND>(wparam);
      SetTimer(nullptr, 0, 0, &NextDialog::Answer);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  static void CALLBACK Answer(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (current_ != nullptr) current_->answer_(current_->dialog_);
  }

  static inline NextDialog* current_ = nullptr;
  std::function<void(HWND)> answer_;
  HHOOK hook_ = nullptr;
  HWND dialog_ = nullptr;
  bool answered_ = false;
};

// The text of a window, in UTF-8.
inline std::string WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return platform::Narrow(text);
}

}  // namespace wizard::win32::testing
