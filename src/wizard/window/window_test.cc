// The window on the offscreen platform, with the Browse dialog and the
// message box faked: the pages' texts, the run to the Finish page on a copy
// of a real calendar, a failed open, Browse in every state, the keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>

#include "database/connection.h"
#include "errors/fake_reporter_environment.h"
#include "support/shared_copy.h"
#include "wizard/scripted_open_file_dialog.h"
#include "wizard/window/main_window.h"

namespace wizard::window {
namespace {

namespace fs = std::filesystem;
using tessaly::testing::SharedFileCopy;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != text.npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

const std::vector<std::string> kReadyLines{
    "The Tessaly Calendar Update will update your Tessaly Calendar database. ",
    "Please click Next to begin the update.", "",
    "To update a different database file than the one displayed below, click the Browse and "
    "select the file to update."};
const std::vector<std::string> kNotFoundLines{
    "The Tessaly Calendar Update will update your Tessaly Calendar database. ", "",
    "The Tessaly database file is not installed in the default directory.",
    "Click the Browse button to find the database file yourself."};

class WindowTest : public ::testing::Test {
 protected:
  void TearDown() override { database::gDatabaseConnection.reset(); }
  fs::path MakeFile(const std::string& name) {
    const fs::path file = folder_.path() / name;
    std::ofstream(file) << "not a calendar";
    return file;
  }
  std::vector<std::string> ReportedModules() const {
    std::vector<std::string> modules;
    for (const auto& box : environment_.boxes) {
      const size_t start = box.text.find("Module: \t\t") + 10;
      modules.push_back(box.text.substr(start, box.text.find('\r', start) - start));
    }
    return modules;
  }
  bool OnPage(const MainWindow& window, const std::vector<std::string>& lines, bool next_enabled) {
    return Lines(window.status_text()) == lines && window.main_button()->text() == "Next >" &&
           window.main_button()->isEnabled() == next_enabled && window.browse_button()->isEnabled();
  }

  errors::testing::TempFolder folder_;
  errors::testing::FakeReporterEnvironment environment_{folder_.path().string()};
  errors::ScopedReporterEnvironment scope_{environment_};
  wizard::testing::ScriptedDialog dialog_;
};

TEST_F(WindowTest, LoadFindsOnlyAnOrdinaryFile) {
  const fs::path file = MakeFile("tessdata.mdb"), hidden = MakeFile(".tessdata.mdb");
  const fs::path read_only = MakeFile("readonly.mdb");
  fs::permissions(read_only, fs::perms::owner_read | fs::perms::group_read);
  struct Case {
    fs::path path;
    bool found;
  };
  for (const Case& c : {Case{file, true}, Case{read_only, true}, Case{hidden, false},
                        Case{folder_.path(), false}, Case{folder_.path() / "missing.mdb", false},
                        Case{file / "below-a-file.mdb", false}}) {
    MainWindow window(c.path.string(), dialog_);
    window.Form_Load();
    EXPECT_TRUE(OnPage(window, c.found ? kReadyLines : kNotFoundLines, c.found)) << c.path;
    EXPECT_EQ(window.strDatabaseFile(), c.found ? c.path.string() : "");
    EXPECT_EQ(window.path_box()->text().toStdString(), window.strDatabaseFile());  // it fits
    EXPECT_TRUE(window.cancel_button()->isEnabled());
  }
  EXPECT_TRUE(environment_.boxes.empty());
}

TEST_F(WindowTest, LayoutFollowsTheTwipsAt96Dpi) {
  MainWindow window("", dialog_);
  ASSERT_EQ(window.logicalDpiX(), 96);
  EXPECT_EQ(window.size(), QSize(455, 199));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(window.windowTitle(), "Tessaly Calendar Update");
  EXPECT_EQ(window.status_label()->geometry(), QRect(64, 8, 377, 77));
  EXPECT_EQ(window.path_box()->geometry(), QRect(8, 116, 373, 21));
  EXPECT_EQ(window.main_button()->geometry(), QRect(380, 164, 65, 25));
  EXPECT_EQ(window.status_text(), "Label1");  // the design state until loaded
  EXPECT_EQ(window.path_box()->nextInFocusChain(), window.browse_button());
  EXPECT_EQ(window.cancel_button()->nextInFocusChain(), window.main_button());
  EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(WindowTest, RunEndsOnTheFinishPageAndBrowseStillWorks) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  MainWindow window(copy.path().string(), dialog_);
  window.Form_Load();
  window.show();
  QTest::keyClicks(window.path_box(), "/nowhere/else.mdb");  // never read
  window.main_button()->click();
  EXPECT_EQ(window.status_text(), "Update completed!  Please click Finish to end the update.");
  EXPECT_EQ(window.main_button()->text(), "Finish");
  EXPECT_TRUE(window.main_button()->isEnabled());
  EXPECT_FALSE(window.cancel_button()->isEnabled());
  EXPECT_TRUE(environment_.boxes.empty()) << environment_.boxes[0].text;

  QTest::keyClick(&window, Qt::Key_Escape);  // Cancel is disabled
  EXPECT_TRUE(window.isVisible());

  const fs::path other = MakeFile("other.mdb");
  dialog_.answers = {other.string()};
  window.browse_button()->click();
  EXPECT_TRUE(OnPage(window, kReadyLines, true));
  EXPECT_EQ(window.strDatabaseFile(), other.string());
  EXPECT_FALSE(window.cancel_button()->isEnabled());

  window.main_button()->setText("finish");  // only the exact captions act
  window.main_button()->click();
  EXPECT_TRUE(window.isVisible());
  window.main_button()->setText("Finish");
  window.main_button()->click();
  EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowTest, FailedOpenStopsWithOneReportAndCancelCloses) {
  MainWindow window((folder_.path() / "missing.mdb").string(), dialog_);
  window.Form_Load();
  window.show();
  dialog_.answers = {MakeFile("notes.mdb").string()};
  window.browse_button()->click();
  QTest::keyClick(window.path_box(), Qt::Key_Return);  // Enter presses "Next >"
  EXPECT_EQ(window.status_text(), "Updating the database...please wait.");
  EXPECT_EQ(window.main_button()->text(), "Next >");
  EXPECT_FALSE(window.main_button()->isEnabled());
  EXPECT_TRUE(window.cancel_button()->isEnabled());
  EXPECT_EQ(ReportedModules(), std::vector<std::string>{"frmMain.OpenDatabase"});
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowTest, BrowseSetsUpTheDialogAndCancelReadoptsTheLastName) {
  MainWindow window((folder_.path() / "missing.mdb").string(), dialog_);
  window.Form_Load();
  window.browse_button()->click();  // Cancel at first: nothing changes
  EXPECT_TRUE(OnPage(window, kNotFoundLines, false));
  ASSERT_EQ(dialog_.opened.size(), 1u);
  const OpenFileSettings& settings = dialog_.opened[0];
  EXPECT_EQ(settings.title, "Select Tessaly Database File");
  EXPECT_EQ(settings.initial_folder, QCoreApplication::applicationDirPath().toStdString());
  EXPECT_EQ(settings.filter, "Database Files (*.mdb)");
  EXPECT_EQ(settings.default_suffix, "mdb");
  EXPECT_TRUE(settings.file_must_exist);
  EXPECT_EQ(settings.file_name, "");

  const std::string chosen = "/home/anna/a folder with a long name/and another/and one more/"
                             "calendar backups/chosen.mdb";  // wider than 366 pixels
  dialog_.answers = {chosen, ""};
  window.browse_button()->click();
  EXPECT_TRUE(OnPage(window, kReadyLines, true));
  const QString shown = window.path_box()->text();
  EXPECT_TRUE(shown.endsWith("/.../chosen.mdb")) << shown.toStdString();
  EXPECT_LE(window.fontMetrics().horizontalAdvance(shown), 366);
  window.path_box()->setText("typed");
  window.browse_button()->click();  // Cancel: the dialog still holds the name
  EXPECT_EQ(dialog_.opened.back().file_name, chosen);
  EXPECT_EQ(window.strDatabaseFile(), chosen);
  EXPECT_EQ(window.path_box()->text(), shown);
}

TEST_F(WindowTest, AccessKeysFocusThePathBoxAndOpenBrowse) {
  MainWindow window("", dialog_);
  window.Form_Load();
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.main_button()->setFocus();
  QTest::keyClick(&window, Qt::Key_D, Qt::AltModifier);
  QTRY_VERIFY(window.path_box()->hasFocus());
  QTest::keyClick(&window, Qt::Key_B, Qt::AltModifier);
  QTRY_COMPARE(dialog_.opened.size(), 1u);
}

// The real dialogs, driven from a timer while they wait for the user.
template <typename Dialog, typename Act>
void WhenShown(Act act) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
      timer->deleteLater();
      act(dialog);
    }
  });
  timer->start(20);
}

TEST_F(WindowTest, RealDialogsShowWhatIsAsked) {
  MakeFile("chosen.mdb");
  QString title, suffix;
  QStringList filters;
  WhenShown<QFileDialog>([&](QFileDialog* dialog) {
    title = dialog->windowTitle(), suffix = dialog->defaultSuffix(), filters = dialog->nameFilters();
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText("chosen");  // no extension typed
    static_cast<QDialog*>(dialog)->accept();
  });
  QtOpenFileDialog open;
  EXPECT_EQ(open.ShowOpen({"Select Tessaly Database File", folder_.path().string(), "mdb",
                           "Database Files (*.mdb)", true, "", "*.mdb"}),
            (folder_.path() / "chosen.mdb").string());
  EXPECT_EQ(title, "Select Tessaly Database File");
  EXPECT_EQ(filters, QStringList{"Database Files (*.mdb)"});
  EXPECT_EQ(suffix, "mdb");

  QString text;
  WhenShown<QMessageBox>([&](QMessageBox* box) {
    title = box->windowTitle(), text = box->text();
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->buttons().size(), 1);
    box->button(QMessageBox::Ok)->click();
  });
  QtReporterEnvironment reporter;
  reporter.ShowMessage("An error has occurred.\r\n\r\nModule:", "Application Error", 64);
  EXPECT_EQ(title, "Application Error");
  EXPECT_EQ(text, "An error has occurred.\n\nModule:");
}

}  // namespace
}  // namespace wizard::window

int main(int argc, char** argv) {
  // Test discovery runs this binary without the tests' environment.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr)
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    std::string runtime = (std::filesystem::temp_directory_path() / "window_test.XXXXXX").string();
    if (::mkdtemp(runtime.data()) != nullptr) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
