// tessaly-update-cli: the batch form of the calendar update. Runs the same
// update as the window on each database file named, in turn, with a console
// view: the status texts go to standard output, each prefixed by the file's
// path; a reported failure goes to standard error as the standard message
// and is appended to error.log in the program's folder, as in the window.
// Exit status 0 when every file reached the Finish state, 1 otherwise; a
// command line that cannot be read is refused with CLI11's message and its
// non-zero status.
#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "ado/connection.h"
#include "wizard/update.h"

namespace {

class ConsoleView : public wizard::UpdateView {
 public:
  explicit ConsoleView(std::string path) : path_(std::move(path)) {}

  void SetStatusText(std::string_view text) override {
    std::printf("%s: %.*s\n", path_.c_str(), static_cast<int>(text.size()), text.data());
  }
  void SetMainButtonCaption(std::string_view caption) override { caption_ = caption; }
  void SetMainButtonEnabled(bool enabled) override { main_enabled_ = enabled; }
  void SetCancelEnabled(bool enabled) override { cancel_enabled_ = enabled; }
  void YieldToEvents() override { std::fflush(stdout); }

  bool Finished() const {
    return caption_ == wizard::kFinishCaption && main_enabled_ && !cancel_enabled_;
  }

 private:
  std::string path_;
  // The Running state, as the window is when its main button starts a run.
  std::string caption_ = "Next >";
  bool main_enabled_ = false;
  bool cancel_enabled_ = true;
};

}  // namespace

int main(int argc, char** argv) {
  // The error log takes its month names from the user's locale.
  std::setlocale(LC_ALL, "");

  CLI::App app{
      "Writes the 2010 church-calendar data (day colours and texts, named days as all-day "
      "events) into each Tessaly Desktop Calendar database given, one after the other.",
      "tessaly-update-cli"};
  std::vector<std::string> files;
  bool trace = false;
  app.add_option("DATABASE.mdb", files, "calendar databases to update")->required();
  app.add_flag("--trace", trace, "print each SQL statement as it is sent");
  app.set_version_flag("--version", std::string("tessaly-update-cli ") + TESSALY_VERSION);
  CLI11_PARSE(app, argc, argv);

  if (trace) {
    ado::SetStatementTrace([](std::string_view statement) {
      std::printf("%.*s\n", static_cast<int>(statement.size()), statement.data());
    });
  }
  bool all_finished = true;
  for (const std::string& file : files) {
    ConsoleView view(file);
    wizard::Update(view, file);
    std::fflush(stdout);
    if (!view.Finished()) all_finished = false;
  }
  return all_finished ? 0 : 1;
}
