// tessaly-window-shots PAGE DATABASE REPORT STOP: shows the window on one of
// its pages for a screenshot taken from outside (scripts/screenshots-windows.sh):
//   ready      DATABASE as the default file
//   not-found  no default file
//   finish     after a run on DATABASE, which the run changes: pass a copy
// Once the page is painted it writes REPORT, one line:
//   dpi D client W H at X Y window X Y W H
// (client origin and window rectangle in screen pixels), and keeps the window
// up until the file STOP appears (or a minute has passed). Failures are
// written to standard error, not shown in a box, so nothing waits for a user.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/file_lookup.h"
#include "platform/unicode_win32.h"
#include "wizard/win32/main_window.h"

namespace {

class NoChoice : public wizard::OpenFileDialog {
 public:
  std::string ShowOpen(const wizard::OpenFileSettings&) override { return {}; }
};

constexpr UINT_PTR kStopTimer = 1;
constexpr UINT kStopPollMilliseconds = 100;
constexpr int kMostPolls = 600;

std::string stop_file;
HWND shown_window = nullptr;
int polls = 0;

void CALLBACK PollStop(HWND, UINT, UINT_PTR, DWORD) {
  if (platform::LookUpFile(stop_file) == platform::Lookup::kOrdinaryFile || ++polls > kMostPolls)
    DestroyWindow(shown_window);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr,
                 "usage: tessaly-window-shots ready|not-found|finish DATABASE REPORT STOP\n");
    return 2;
  }
  const std::string page = platform::Narrow(argv[1]);
  const std::string database = platform::Narrow(argv[2]);
  const std::string report = platform::Narrow(argv[3]);
  stop_file = platform::Narrow(argv[4]);

  NoChoice dialog;
  wizard::win32::MainWindow window(page == "not-found" ? database + ".missing" : database, dialog);
  if (!window.is_open()) return 1;
  window.set_quits_on_close(true);
  window.Form_Load();
  window.Show();
  if (page == "finish") window.cmdButton1_Click();
  wizard::win32::PumpWaitingMessages(window);
  RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  GdiFlush();

  RECT client, frame;
  GetClientRect(window.hwnd(), &client);
  POINT origin = {0, 0};
  ClientToScreen(window.hwnd(), &origin);
  GetWindowRect(window.hwnd(), &frame);
  std::ofstream(platform::Widen(report).c_str())
      << "dpi " << window.dpi_x() << " client " << client.right << ' ' << client.bottom << " at "
      << origin.x << ' ' << origin.y << " window " << frame.left << ' ' << frame.top << ' '
      << frame.right - frame.left << ' ' << frame.bottom - frame.top << '\n';

  shown_window = window.hwnd();
  SetTimer(nullptr, kStopTimer, kStopPollMilliseconds, PollStop);
  return wizard::win32::RunMessageLoop(window);
}
