// Which file an update writes where Windows virtualises the calendar, over a
// system whose files and rights the test sets: the copy the calendar reads,
// a copy made for a user who may not change the file, and the run that
// tells its view and reports a copy that cannot be made.
#include "wizard/virtual_store.h"

#include <set>

#include <gtest/gtest.h>

#include "errors/runtime_error.h"
#include "support/fake_reporter_environment.h"
#include "wizard/update.h"

namespace wizard {
namespace {

const std::string kInstalled = "C:\\Program Files\\Tessaly Desktop Calendar\\tessdata.mdb";
const std::string kCopy =
    "C:\\Users\\J\xC3\xBCrgen\\AppData\\Local\\VirtualStore\\Program Files\\Tessaly Desktop "
    "Calendar\\tessdata.mdb";
const std::string kOwn = "D:\\Pfarrei J\xC3\xBCrgen\\tessdata.mdb";

// A system of files, some of which the user may not write.
struct FakeSystem {
  std::set<std::string> files, denied;
  std::string copy_failure = {};
  std::vector<std::string> copies = {};  // "from -> to"

  VirtualStoreSystem Get() {
    return {"C:\\Users\\J\xC3\xBCrgen\\AppData\\Local",
            {"C:\\Program Files", "C:\\Windows"},
            [this](const std::string& path) { return files.contains(path); },
            [this](const std::string& path) { return denied.contains(path); },
            [this](const std::string& from, const std::string& to) {
              copies.push_back(from + " -> " + to);
              if (!copy_failure.empty()) {
                return platform::Error(platform::Error::Kind::kOther, copy_failure);
              }
              files.insert(to);
              return platform::Error();
            }};
  }
};

TEST(VirtualStoreTest, TheUpdateWritesWhereTheCalendarReads) {
  struct Case {
    std::string path;
    std::set<std::string> files, denied;
    std::string target;
    bool is_copy, made;
  };
  for (const Case& c : {
           Case{kInstalled, {kInstalled}, {}, kInstalled, false, false},   // may write it
           Case{kInstalled, {kInstalled, kCopy}, {}, kCopy, true, false},  // the copy exists
           Case{kInstalled, {kCopy}, {}, kCopy, true, false},
           Case{kInstalled, {kInstalled}, {kInstalled}, kCopy, true, true},  // made now
           Case{kInstalled, {}, {kInstalled}, kInstalled, false, false},     // missing: the open
                                                                             // step says so
           Case{kOwn, {kOwn}, {kOwn}, kOwn, false, false},                   // not virtualised
       }) {
    FakeSystem system{c.files, c.denied};
    EXPECT_EQ(PreferVirtualStoreCopy(c.path, system.Get()),
              c.files.contains(kCopy) ? kCopy : c.path);
    const UpdateTarget target = TargetForUpdate(c.path, system.Get());
    EXPECT_EQ(target.path, c.target) << c.target;
    EXPECT_EQ(target.is_copy, c.is_copy) << c.target;
    EXPECT_EQ(target.made, c.made) << c.target;
    EXPECT_EQ(system.copies.size(), c.made ? 1u : 0u) << c.target;
  }
}

struct RecordingView : UpdateView {
  void SetStatusText(std::string_view text) override { status = text; }
  void SetMainButtonCaption(std::string_view) override {}
  void SetMainButtonEnabled(bool) override {}
  void SetCancelEnabled(bool) override {}
  void YieldToEvents() override {}
  void UpdatingCopy(const std::string& copy, bool made) override {
    told += copy + (made ? " made" : " used");
  }
  std::string status, told;
};

TEST(VirtualStoreTest, TheRunOpensTheCopyAndReportsOneThatCannotBeMade) {
  tessaly::testing::TempFolder folder;
  errors::testing::FakeReporterEnvironment environment(folder.path().string());
  errors::ScopedReporterEnvironment scope(environment);

  FakeSystem system{{kInstalled}, {kInstalled}};
  RecordingView view;
  Update(view, kInstalled, system.Get());
  EXPECT_EQ(view.told, kCopy + " made");
  ASSERT_EQ(environment.boxes.size(), 1u);  // the fake copy is no file: the open fails on it
  EXPECT_NE(environment.boxes[0].text.find("'" + kCopy + "'"), std::string::npos)
      << environment.boxes[0].text;

  FakeSystem failing{{kInstalled}, {kInstalled}, "disk full"};
  RecordingView stopped;
  Update(stopped, kInstalled, failing.Get());
  EXPECT_EQ(stopped.told, "");
  EXPECT_EQ(stopped.status, kWaitText);
  ASSERT_EQ(environment.Reports().size(), 2u);
  EXPECT_EQ(environment.Reports()[1], "frmMain.Update 0");
  EXPECT_NE(environment.boxes[1].text.find("Error Number: \t75\r\n"), std::string::npos);
  EXPECT_NE(environment.boxes[1].text.find("disk full"), std::string::npos);
}

}  // namespace
}  // namespace wizard
