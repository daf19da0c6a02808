// The form's behaviour over fake controls, for both toolkits at once: the
// pages of the load check, a run to the Finish page on a copy of a real
// calendar, a failed run with its one report, Browse, the keys, and a close
// asked for during a run.
#include "wizard/form.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "database/connection.h"
#include "platform/system.h"
#include "support/fake_reporter_environment.h"
#include "support/scripted_open_file_dialog.h"
#include "support/shared_copy.h"
#include "wizard/window_design.h"

namespace wizard {
namespace {

// The controls as state, with a log of the calls that are no state: "paint",
// "discard", "unload".
class FakeControls : public FormControls {
 public:
  void SetStatusText(std::string_view text) override { status = text; }
  void ShowPath(const std::string& path) override { path_box = path; }
  std::string MainCaption() override { return caption; }
  void SetMainCaption(std::string_view text) override { caption = text; }
  bool IsEnabled(Button button) override { return enabled[button]; }
  void SetEnabled(Button button, bool on) override {
    enabled[button] = on;
    if (!on && focus == button) focus.reset();
  }
  void Focus(Button button) override { focus = button; }
  void PaintPending() override { calls += "paint,"; }
  void DiscardQueuedInput() override { calls += "discard,"; }
  void Unload() override { calls += "unload,"; }

  std::string status = std::string(kDesignStatusText), path_box;
  std::string caption = std::string(kNextCaption);
  std::map<Button, bool> enabled{
      {Button::kBrowse, true}, {Button::kCancel, true}, {Button::kMain, true}};
  std::optional<Button> focus;
  std::string calls;
};

// The fake box, which can act while it would wait for the user.
class Environment : public errors::testing::FakeReporterEnvironment {
 public:
  using FakeReporterEnvironment::FakeReporterEnvironment;
  void ShowMessage(std::string_view text, std::string_view title, int32_t style) override {
    FakeReporterEnvironment::ShowMessage(text, title, style);
    if (while_shown) while_shown();
  }
  std::function<void()> while_shown;
};

struct Page {
  std::string_view status;
  std::string path_box;
  std::string_view caption;
  bool main, cancel;
  friend bool operator==(const Page&, const Page&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Page& p) {
    return os << p.status.substr(0, 20) << "|" << p.path_box << "|" << p.caption << "|" << p.main
              << p.cancel;
  }
};

class FormTest : public ::testing::Test {
 protected:
  void TearDown() override { database::gDatabaseConnection.reset(); }
  std::string MakeFile(const std::string& name) {
    const std::filesystem::path file = folder_.path() / name;
    std::ofstream(file) << "not a calendar";
    return file.string();
  }
  Page PageNow() {
    EXPECT_TRUE(controls_.enabled[Button::kBrowse]);  // (F4)
    return {controls_.status, controls_.path_box, controls_.caption,
            controls_.enabled[Button::kMain], controls_.enabled[Button::kCancel]};
  }
  Page Ready(const std::string& path, bool cancel = true) {
    return {kReadyText, path, kNextCaption, true, cancel};
  }
  Page NotFound() { return {kNotFoundText, "", kNextCaption, false, true}; }

  tessaly::testing::TempFolder folder_;
  Environment environment_{folder_.path().string()};
  errors::ScopedReporterEnvironment scope_{environment_};
  testing::ScriptedDialog dialog_;
  FakeControls controls_;
};

TEST_F(FormTest, LoadShowsTheReadyPageOnlyForAnOrdinaryFile) {
  const std::string file = MakeFile("tessdata.mdb");
  for (const std::string& missing :
       {folder_.path().string(), MakeFile("missing.mdb") + "x", file + "/below-a-file.mdb"}) {
    FakeControls controls;
    FormController form(controls, dialog_, missing);
    form.Form_Load();
    EXPECT_EQ((Page{controls.status, controls.path_box, controls.caption,
                    controls.enabled[Button::kMain], controls.enabled[Button::kCancel]}),
              NotFound())
        << missing;
    EXPECT_EQ(form.strDatabaseFile(), "");
  }
  FormController form(controls_, dialog_, file);
  form.Form_Load();
  EXPECT_EQ(PageNow(), Ready(file));
  EXPECT_EQ(form.strDatabaseFile(), file);
  EXPECT_TRUE(environment_.boxes.empty());
}

TEST_F(FormTest, RunEndsOnTheFinishPageWithTheFocusOnFinish) {
  tessaly::testing::SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  FormController form(controls_, dialog_, copy.path().string());
  form.Form_Load();
  controls_.focus = Button::kBrowse;
  form.EnterPressed(std::nullopt);  // Enter in the path box presses "Next >"
  EXPECT_EQ(PageNow(), (Page{kCompletedText, copy.path().string(), kFinishCaption, true, false}));
  EXPECT_EQ(controls_.calls, "paint,discard,");  // input queued meanwhile is dropped (F3)
  EXPECT_EQ(controls_.focus, Button::kMain);     // (F7)
  EXPECT_TRUE(environment_.boxes.empty()) << environment_.boxes[0].text;

  form.EscapePressed();  // Cancel is disabled
  const std::string other = MakeFile("other.mdb");
  dialog_.answers = {other};
  form.cmdBrowse_Click();
  EXPECT_EQ(PageNow(), Ready(other, false));
  for (const char* caption : {"finish", "Next > "}) {  // only the exact captions act (F2)
    controls_.caption = caption;
    form.cmdButton1_Click();
    EXPECT_TRUE(controls_.enabled[Button::kMain]) << caption;
  }
  EXPECT_EQ(controls_.calls, "paint,discard,");
  controls_.caption = kFinishCaption;
  form.EnterPressed(Button::kMain);
  EXPECT_EQ(controls_.calls, "paint,discard,unload,");
}

TEST_F(FormTest, FailedOpenStopsWithOneReportAndEscCloses) {
  FormController form(controls_, dialog_, MakeFile("notes.mdb"));
  form.Form_Load();
  form.cmdButton1_Click();
  EXPECT_EQ(PageNow(), (Page{kWaitText, controls_.path_box, kNextCaption, false, true}));
  EXPECT_EQ(environment_.Reports(), std::vector<std::string>{"frmMain.OpenDatabase 0"});
  form.EscapePressed();
  EXPECT_EQ(controls_.calls, "paint,discard,unload,");
}

TEST_F(FormTest, EnterPressesTheFocusedButton) {
  struct Case {
    std::optional<Button> focused;
    std::string calls;
    size_t dialogs;
  };
  // On the not-found page: "Next >" is disabled.
  for (const Case& c : {Case{std::nullopt, "", 0}, Case{Button::kMain, "", 0},
                        Case{Button::kBrowse, "", 1}, Case{Button::kCancel, "unload,", 0}}) {
    FakeControls controls;
    testing::ScriptedDialog dialog;
    FormController form(controls, dialog, folder_.path().string() + "/missing.mdb");
    form.Form_Load();
    form.EnterPressed(c.focused);
    EXPECT_EQ(controls.calls, c.calls);
    EXPECT_EQ(dialog.opened.size(), c.dialogs);
  }
  EXPECT_TRUE(environment_.boxes.empty());
}

TEST_F(FormTest, BrowseSetsUpTheDialogAndCancelReadoptsTheLastName) {
  FormController form(controls_, dialog_, folder_.path().string() + "/missing.mdb");
  form.Form_Load();
  form.cmdBrowse_Click();  // Cancel at first: nothing changes
  EXPECT_EQ(PageNow(), NotFound());
  ASSERT_EQ(dialog_.opened.size(), 1u);
  EXPECT_EQ(dialog_.opened[0].initial_folder, platform::ProgramFolder());
  EXPECT_EQ(dialog_.opened[0].title, "Select Tessaly Database File");
  EXPECT_EQ(dialog_.opened[0].file_name, "");

  const std::string chosen = MakeFile("chosen.mdb");
  dialog_.answers = {chosen, ""};
  form.cmdBrowse_Click();
  EXPECT_EQ(PageNow(), Ready(chosen));
  controls_.path_box = "typed";  // never read (F1)
  form.cmdBrowse_Click();        // Cancel: the dialog still holds the name
  EXPECT_EQ(dialog_.opened.back().file_name, chosen);
  EXPECT_EQ(PageNow(), Ready(chosen));
  EXPECT_EQ(form.strDatabaseFile(), chosen);
}

TEST_F(FormTest, ACloseAskedForDuringTheRunWaitsForTheRun) {
  FormController form(controls_, dialog_, MakeFile("notes.mdb"));
  form.Form_Load();
  environment_.while_shown = [&] {  // the open step's box of a failing run
    form.CloseRequested();
    form.cmdCancel_Click();
    EXPECT_EQ(controls_.calls, "paint,");
  };
  form.cmdButton1_Click();
  EXPECT_EQ(environment_.boxes.size(), 1u);
  EXPECT_EQ(controls_.calls, "paint,discard,unload,");
}

}  // namespace
}  // namespace wizard
