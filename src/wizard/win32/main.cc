// tessaly-update.exe: the calendar update's window on Windows. Shows frmMain
// and ends when it closes. Failures are logged to error.log in the program's
// folder and shown in an "Application Error" box.
#include <windows.h>

#include <string>

#include "errors/reporter_environment.h"
#include "platform/system.h"
#include "wizard/win32/dialogs.h"
#include "wizard/win32/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  platform::MarkRunning();
  wizard::win32::Win32ReporterEnvironment reporter;
  errors::ScopedReporterEnvironment installed(reporter);
  wizard::win32::Win32OpenFileDialog dialog;
  wizard::win32::MainWindow window(wizard::DefaultDatabasePath(), dialog, instance);
  if (!window.is_open()) {
    MessageBoxW(nullptr, L"The window could not be created.", L"Tessaly Calendar Update",
                MB_OK | MB_ICONSTOP);
    return 1;
  }
  reporter.set_owner(window.hwnd());
  dialog.set_owner(window.hwnd());
  window.set_quits_on_close(true);
  window.Form_Load();
  window.Show(show_command);
  return wizard::win32::RunMessageLoop(window);
}
