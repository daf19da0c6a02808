// frmMain's behaviour over either toolkit's controls: see form.h.
#include "wizard/form.h"

#include <utility>

#include "errors/guard.h"
#include "platform/known_folders.h"
#include "platform/path.h"
#include "platform/system.h"
#include "wizard/file_lookup.h"
#include "wizard/virtual_store.h"
#include "wizard/window_design.h"

namespace wizard {
namespace {

// The folder of the running program, where the Browse dialog starts.
std::string ProgramFolder() {
  const std::string file = platform::ProgramFile();
  const size_t slash = file.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

}  // namespace

std::string DefaultDatabasePath() {
#ifdef _WIN32
  return std::string(kWindowsDefaultDatabase);
#else
  std::string path = platform::WineDriveC();
  for (const char* name : {"Program Files", "Tessaly Desktop Calendar", "tessdata.mdb"}) {
    path = platform::JoinPath(path, name);
  }
  return path;
#endif
}

// The run's view of the window (F3): the controls, and the file the run
// moved to.
class FormController::RunView : public UpdateView {
 public:
  explicit RunView(FormController& form) : form_(form) {}
  void SetStatusText(std::string_view text) override { form_.controls_.SetStatusText(text); }
  void SetMainButtonCaption(std::string_view caption) override {
    form_.controls_.SetMainCaption(caption);
  }
  void SetMainButtonEnabled(bool enabled) override {
    form_.controls_.SetEnabled(Button::kMain, enabled);
  }
  void SetCancelEnabled(bool enabled) override {
    form_.controls_.SetEnabled(Button::kCancel, enabled);
  }
  void YieldToEvents() override { form_.controls_.PaintPending(); }
  void UpdatingCopy(const std::string& copy, bool) override {
    form_.strDatabaseFile_ = copy;
    form_.controls_.ShowPath(copy);
  }

 private:
  FormController& form_;
};

FormController::FormController(FormControls& controls, OpenFileDialog& dialog,
                               std::string default_database)
    : controls_(controls), dialog_(dialog), default_database_(std::move(default_database)) {}

FormController::~FormController() = default;

void FormController::Form_Load() {
  errors::Guarded("frmMain.Form_Load", [&] {
    const std::string database = PreferVirtualStoreCopy(default_database_);
    if (IsOrdinaryFile(database)) {
      strDatabaseFile_ = database;
      EnableUpdate(true);
    } else {
      strDatabaseFile_.clear();
      EnableUpdate(false);
    }
  });
}

void FormController::EnableUpdate(bool bEnable) {
  errors::Guarded("frmMain.EnableUpdate", [&] {
    if (bEnable) {
      controls_.SetStatusText(kReadyText);
      controls_.ShowPath(strDatabaseFile_);
      controls_.SetMainCaption(kNextCaption);
      controls_.SetEnabled(Button::kMain, true);
    } else {
      controls_.SetStatusText(kNotFoundText);
      controls_.ShowPath("");
      controls_.SetEnabled(Button::kMain, false);
    }
  });
}

void FormController::cmdButton1_Click() {
  errors::Guarded("frmMain.cmdButton1_Click", [&] {
    switch (ActionForCaption(controls_.MainCaption())) {
      case MainButtonAction::kStartRun: {
        controls_.SetEnabled(Button::kMain, false);
        RunView view(*this);
        running_ = true;
        // A copy: the run may move strDatabaseFile to a VirtualStore copy.
        Update(view, std::string(strDatabaseFile_));
        running_ = false;
        controls_.DiscardQueuedInput();
        if (close_requested_) {
          controls_.Unload();
        } else if (controls_.MainCaption() == kFinishCaption &&
                   controls_.IsEnabled(Button::kMain)) {
          controls_.Focus(Button::kMain);
        }
        break;
      }
      case MainButtonAction::kClose: CloseRequested(); break;
      case MainButtonAction::kNothing: break;
    }
  });
}

void FormController::cmdCancel_Click() { CloseRequested(); }

void FormController::cmdBrowse_Click() {
  errors::Guarded("frmMain.cmdBrowse_Click", [&] {
    const OpenFileSettings settings = DatabaseDialogSettings(ProgramFolder(), dialog_file_name_);
    // Cancel leaves the dialog's name as it was, so an earlier choice is
    // adopted again.
    if (std::string chosen = dialog_.ShowOpen(settings); !chosen.empty()) {
      dialog_file_name_ = std::move(chosen);
    }
    if (dialog_file_name_.empty()) return;
    strDatabaseFile_ = PreferVirtualStoreCopy(dialog_file_name_);
    EnableUpdate(true);
  });
}

void FormController::EnterPressed(std::optional<Button> focused) {
  const Button button = focused.value_or(Button::kMain);
  if (!controls_.IsEnabled(button)) return;
  switch (button) {
    case Button::kBrowse: cmdBrowse_Click(); break;
    case Button::kCancel: cmdCancel_Click(); break;
    case Button::kMain: cmdButton1_Click(); break;
  }
}

void FormController::EscapePressed() {
  if (controls_.IsEnabled(Button::kCancel)) cmdCancel_Click();
}

void FormController::CloseRequested() {
  if (running_) {
    close_requested_ = true;
    return;
  }
  controls_.Unload();
}

}  // namespace wizard
