// The Qt controls of the form (its behaviour is tested with fake controls in
// wizard/form_test.cc) on the offscreen platform, with the Browse dialog and
// the message box faked: layout, the pages' texts as shown, the compacted
// path, the keys as Qt delivers them, the focus after a run, a close asked
// for during a run, and the real dialogs.
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "database/connection.h"
#include "support/fake_reporter_environment.h"
#include "support/scripted_open_file_dialog.h"
#include "support/shared_copy.h"
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
  void ShowActive(MainWindow& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  tessaly::testing::TempFolder folder_;
  errors::testing::FakeReporterEnvironment environment_{folder_.path().string()};
  errors::ScopedReporterEnvironment scope_{environment_};
  wizard::testing::ScriptedDialog dialog_;
};

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

TEST_F(WindowTest, PagesShowTheTextsAndTheCompactedPath) {
  MainWindow hidden(MakeFile(".tessdata.mdb").string(), dialog_);  // not listed
  hidden.Form_Load();
  EXPECT_EQ(Lines(hidden.status_text()), kNotFoundLines);
  EXPECT_EQ(hidden.status_label()->text().count('\n'), 3);  // CR LF shown as one break
  EXPECT_EQ(hidden.path_box()->text(), "");
  EXPECT_FALSE(hidden.main_button()->isEnabled());

  const std::string chosen =
      "/home/anna/a folder with a long name/and another/and one more/"
      "calendar backups/chosen.mdb";  // wider than 366 pixels
  dialog_.answers = {chosen};
  hidden.cmdBrowse_Click();
  EXPECT_EQ(Lines(hidden.status_text()), kReadyLines);
  const QString shown = hidden.path_box()->text();
  EXPECT_TRUE(shown.endsWith("/.../chosen.mdb")) << shown.toStdString();
  EXPECT_LE(hidden.fontMetrics().horizontalAdvance(shown), 366);
  EXPECT_TRUE(hidden.main_button()->isEnabled());
}

TEST_F(WindowTest, RunLeavesTheFocusOnFinish) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  MainWindow window(copy.path().string(), dialog_);
  window.Form_Load();
  ShowActive(window);
  window.path_box()->setFocus();
  QTest::keyClick(window.path_box(), Qt::Key_Return);  // Enter in the path box: "Next >"
  EXPECT_EQ(window.main_button()->text(), "Finish");
  EXPECT_FALSE(window.cancel_button()->isEnabled());
  EXPECT_TRUE(window.main_button()->hasFocus());
  EXPECT_TRUE(environment_.boxes.empty()) << environment_.boxes[0].text;
  QTest::keyClick(window.main_button(), Qt::Key_Return);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowTest, EnterPressesTheFocusedButtonAndEscCancels) {
  MainWindow window(MakeFile("notes.mdb").string(), dialog_);
  window.Form_Load();
  ShowActive(window);
  window.browse_button()->setFocus();
  QTest::keyClick(window.browse_button(), Qt::Key_Return);
  EXPECT_EQ(dialog_.opened.size(), 1u);
  window.cancel_button()->setFocus();
  QTest::keyClick(window.cancel_button(), Qt::Key_Enter);
  EXPECT_FALSE(window.isVisible());

  ShowActive(window);
  window.path_box()->setFocus();
  QTest::keyClick(window.path_box(), Qt::Key_Return);  // a run that fails to open
  EXPECT_EQ(environment_.boxes.size(), 1u);
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowTest, ACloseAskedForDuringTheRunWaitsForTheRun) {
  struct ClosingEnvironment : errors::testing::FakeReporterEnvironment {
    using FakeReporterEnvironment::FakeReporterEnvironment;
    void ShowMessage(std::string_view text, std::string_view title, int32_t style) override {
      FakeReporterEnvironment::ShowMessage(text, title, style);
      window->close();  // as the close box would while the box is up
      still_visible = window->isVisible();
    }
    MainWindow* window = nullptr;
    bool still_visible = false;
  } environment(folder_.path().string());
  errors::ScopedReporterEnvironment scope(environment);
  MainWindow window(MakeFile("notes.mdb").string(), dialog_);
  environment.window = &window;
  window.Form_Load();
  window.show();
  window.cmdButton1_Click();
  EXPECT_TRUE(environment.still_visible);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowTest, AccessKeysFocusThePathBoxAndOpenBrowse) {
  MainWindow window("", dialog_);
  window.Form_Load();
  ShowActive(window);
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
    title = dialog->windowTitle(), suffix = dialog->defaultSuffix(),
    filters = dialog->nameFilters();
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
    // Qt wants it private to the user.
    const std::filesystem::path runtime = tessaly::testing::MakeTempFolder("window_test");
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
