#include "wizard/win32/dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "errors/runtime_error.h"
#include "platform/unicode_win32.h"

namespace wizard::win32 {
namespace {

// Room for any path the dialog can return (the long-path limit).
constexpr size_t kFileNameChars = 32768;

// The dialog's failures, numbered as the common-dialog control numbers them.
errors::RuntimeError DialogFailure(DWORD code) {
  switch (code) {
    case FNERR_BUFFERTOOSMALL:
      return errors::RuntimeError(20476, "The file name is too long for the dialog");
    case FNERR_INVALIDFILENAME: return errors::RuntimeError(20477, "Invalid file name");
    case FNERR_SUBCLASSFAILURE:
      return errors::RuntimeError(20478, "The dialog could not be set up");
    default:
      return errors::RuntimeError(-32768, "The dialog could not be shown (common dialog error " +
                                              std::to_string(code) + ")");
  }
}

}  // namespace

std::wstring OpenFileFilter(std::string_view description, std::string_view pattern) {
  std::wstring filter = platform::Widen(description);
  filter += L'\0';
  filter += platform::Widen(pattern);
  filter += L'\0';
  filter += L'\0';
  return filter;
}

std::string Win32OpenFileDialog::ShowOpen(const OpenFileSettings& settings) {
  const std::wstring title = platform::Widen(settings.title);
  const std::wstring folder = platform::Widen(settings.initial_folder);
  const std::wstring filter = OpenFileFilter(settings.filter, settings.filter_pattern);
  const std::wstring extension = platform::Widen(settings.default_suffix);
  std::vector<wchar_t> file(kFileNameChars, L'\0');
  const std::wstring last = platform::Widen(settings.file_name);
  std::copy_n(last.begin(), std::min(last.size(), file.size() - 1), file.begin());

  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner_;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = settings.file_must_exist ? kOpenFileFlags : OFN_EXPLORER;
  if (GetOpenFileNameW(&dialog)) return platform::Narrow(file.data());
  if (const DWORD failure = CommDlgExtendedError(); failure != 0) throw DialogFailure(failure);
  return {};  // Cancel
}

void Win32ReporterEnvironment::ShowMessage(std::string_view text, std::string_view title,
                                           int32_t style) {
  MessageBoxW(owner_, platform::Widen(text).c_str(), platform::Widen(title).c_str(),
              static_cast<UINT>(style));
}

}  // namespace wizard::win32
