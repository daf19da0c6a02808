// tessaly-update: the calendar update's window. Shows frmMain and ends when it
// closes. Failures are logged to error.log in the program's folder and shown
// in an "Application Error" box.
#include <QApplication>
#include <clocale>

#include "database/connection.h"
#include "errors/reporter_environment.h"
#include "wizard/window/main_window.h"
#include "wizard/window/platform_dialogs.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The error log takes its month names from the user's locale.
  std::setlocale(LC_ALL, "");
  QApplication::setApplicationName(QStringLiteral("tessaly-update"));
  QApplication::setDesktopFileName(QStringLiteral("tessaly-update"));

  wizard::window::QtReporterEnvironment reporter;
  errors::ScopedReporterEnvironment installed(reporter);
  wizard::window::QtOpenFileDialog dialog;
  wizard::window::MainWindow window(wizard::DefaultDatabasePath(), dialog);
  QApplication::setWindowIcon(window.windowIcon());
  reporter.set_parent(&window);
  dialog.set_parent(&window);

  window.Form_Load();
  window.show();
  const int status = application.exec();
  // A failed run leaves its connection open: it is released while the
  // window's reporter can still show a failure to write what it did.
  database::gDatabaseConnection.reset();
  return status;
}
