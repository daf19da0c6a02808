// tessaly-window-shots OUTDIR DATABASE: pictures of the window as the user
// sees it, for review: ready.png (DATABASE as the default file),
// not-found.png (no default file) and finish.png (after a run on DATABASE,
// which the run changes: pass a copy). Meant to run on a real display, such
// as Xvfb (scripts/screenshots.sh). Failures are written to standard error,
// not shown in a box, so that nothing waits for a user.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>
#include <cstdio>
#include <filesystem>
#include <string>

#include "wizard/window/main_window.h"

namespace {

class NoChoice : public wizard::window::OpenFileDialog {
 public:
  std::string ShowOpen(const wizard::window::OpenFileSettings&) override { return {}; }
};

// Shows the window, lets it paint and saves what is on the screen.
bool Shoot(wizard::window::MainWindow& window, const std::filesystem::path& file) {
  window.show();
  window.activateWindow();
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 500) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
  const bool saved = window.grab().save(QString::fromStdString(file.string()));
  std::printf("%s %s\n", saved ? "saved" : "could not save", file.c_str());
  window.close();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: tessaly-window-shots OUTDIR DATABASE\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  const std::string database = argv[2];
  std::filesystem::create_directories(out);
  NoChoice dialog;
  bool ok = true;

  wizard::window::MainWindow ready(database, dialog);
  ready.Form_Load();
  ok &= Shoot(ready, out / "ready.png");

  wizard::window::MainWindow not_found((out / "missing.mdb").string(), dialog);
  not_found.Form_Load();
  ok &= Shoot(not_found, out / "not-found.png");

  wizard::window::MainWindow finish(database, dialog);
  finish.Form_Load();
  finish.show();
  finish.cmdButton1_Click();
  ok &= Shoot(finish, out / "finish.png");
  return ok ? 0 : 1;
}
