// tessaly-update-cli: the batch form of the calendar update. Runs the same
// update as the window on each database file named, in turn, with a console
// view: the status texts go to standard output, each prefixed by the file's
// path; a reported failure goes to standard error as the standard message
// and is appended to error.log in the program's folder, as in the window.
// Where Windows virtualises the calendar, the file updated is the one the
// calendar reads (wizard/virtual_store.h), and a status line says so.
// Exit status 0 when every file reached the Finish state with no failure
// reported on the way, 1 otherwise (a failed event import, for one, is
// reported and the run still finishes), 3 when the only failures were files
// whose update was saved but not finished at close (the next open of the
// file, by a run of this program, writes it in: its log beside the file
// holds it); 2 for a command line that cannot be read, with CLI11's message.
// Lines end as the system ends them (platform::kLineEnd).
//
// `--new-calendar FILE` instead makes an empty calendar: the three tables of
// data/calendar-schema.sql, which the build puts into the program as a
// string (calendar_schema.inc), so the program needs no file beside it.
// It is made as FILE.new-NNNN beside FILE; what a killed run leaves so is
// removed by the next run of either form on FILE.
// Exit status 0 when FILE was made, 1 when not (an existing FILE is never
// touched).
#include <clocale>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "ado/connection.h"
#include "database/connection.h"
#include "errors/reporter_environment.h"
#include "jet/database.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "sql/ddl.h"
#include "wizard/leftovers.h"
#include "wizard/update.h"

namespace {

constexpr std::string_view kCalendarSchema =
#include "calendar_schema.inc"
    ;

constexpr int kExitUsage = 2;
// The batch form has no Finish button to click.
constexpr std::string_view kBatchCompletedText = "Update completed!";
constexpr std::string_view kCopyMadeText =
    "You may not change this file; it was copied to your VirtualStore, where the calendar "
    "reads it from now on, and the copy is updated: ";
constexpr std::string_view kCopyUsedText =
    "The calendar reads your VirtualStore copy of this file; the copy is updated: ";

void Print(std::FILE* stream, const std::string& line) {
  std::fprintf(stream, "%s%.*s", line.c_str(), static_cast<int>(platform::kLineEnd.size()),
               platform::kLineEnd.data());
}

bool CreateFailed(const std::string& file, const std::string& why) {
  Print(stderr, "tessaly-update-cli: cannot create the calendar " + file + ": " + why);
  return false;
}

// Makes the calendar under a temporary name beside `file` and moves it to
// `file` only once it is whole and closed: `file` never appears half made,
// a run killed part way leaves at most the temporary file, and a file that
// appears meanwhile under the name is not replaced.
bool CreateCalendar(const std::string& file) {
  wizard::ClearNewCalendarLeftovers(file);
  const platform::PathType type = platform::TypeOf(file);
  if (type == platform::PathType::kFolder || type == platform::PathType::kOther) {
    return CreateFailed(file, "the file already exists; it is left as it is");
  }
  const std::string folder = platform::ParentFolder(platform::AbsolutePath(file));
  if (platform::TypeOf(folder) != platform::PathType::kFolder) {
    return CreateFailed(file, "there is no folder " + folder);
  }
  const std::string temp = file + ".new-" + std::to_string(std::random_device()());
  const auto discard = [&temp] { jet::Database::Discard(temp); };
  // The engine's messages name the file it was given: name ours instead.
  const auto why = [&](const jet::Status& s) {
    std::string message = s.message();
    if (const std::string lead = "cannot create " + temp + ": "; message.starts_with(lead)) {
      message.erase(0, lead.size());
    }
    for (size_t at; (at = message.find(temp)) != std::string::npos;)
      message.replace(at, temp.size(), file);
    return message;
  };

  auto db = jet::Database::Create(temp);
  if (!db.ok()) return CreateFailed(file, why(db.status()));
  sql::Error error;
  size_t failed = 0;
  if (!sql::RunDdlScript(**db, kCalendarSchema, &error, &failed)) {
    (void)(*db)->Close();
    discard();
    return CreateFailed(file, "statement " + std::to_string(failed) +
                                  " of the calendar's tables: " + error.description);
  }
  if (const jet::Status closed = (*db)->Close(); !closed.ok()) {
    discard();
    return CreateFailed(file, why(closed));
  }
  const platform::Error published = platform::PublishNew(temp, file);
  discard();
  if (published.kind() == platform::Error::Kind::kExists) {
    return CreateFailed(file, "the file already exists; it is left as it is");
  }
  if (!published.ok()) return CreateFailed(file, why(jet::Status::IoError(published.message())));
  return true;
}

class ConsoleView : public wizard::UpdateView {
 public:
  explicit ConsoleView(std::string path) : path_(std::move(path)) {}

  void SetStatusText(std::string_view text) override {
    Print(stdout,
          path_ + ": " + std::string(text == wizard::kCompletedText ? kBatchCompletedText : text));
  }
  void UpdatingCopy(const std::string& copy, bool made) override {
    Print(stdout, path_ + ": " + std::string(made ? kCopyMadeText : kCopyUsedText) + copy);
    path_ = copy;
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

// The system's reporter (standard error, error.log), counting the failures
// it reports.
class CountingReporter : public errors::SystemReporterEnvironment {
 public:
  void ShowMessage(std::string_view text, std::string_view title, int32_t style) override {
    ++reported_;
    SystemReporterEnvironment::ShowMessage(text, title, style);
  }
  int reported() const { return reported_; }

 private:
  int reported_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  platform::MarkRunning();
  // The error log takes its month names from the user's locale.
  std::setlocale(LC_ALL, "");

  CLI::App app{
      "Writes the 2010 church-calendar data (day colours and texts, named days as all-day "
      "events) into each Tessaly Desktop Calendar database given, one after the other.",
      "tessaly-update-cli"};
  std::vector<std::string> files;
  std::string new_calendar;
  bool trace = false;
  CLI::Option* update = app.add_option("DATABASE.mdb", files, "calendar databases to update");
  CLI::Option* create =
      app.add_option("--new-calendar", new_calendar,
                     "instead of updating, make FILE an empty calendar database (the Dates, "
                     "Events and EventDates tables, no rows); an existing FILE is refused")
          ->type_name("FILE")
          ->excludes(update);
  app.add_flag("--trace", trace, "print each SQL statement as it is sent");
  app.set_version_flag("--version", std::string("tessaly-update-cli ") + TESSALY_VERSION);
  app.footer("Exit status: 0 every file updated, 1 a failure was reported, 2 bad usage.");
  // Paths are read in UTF-8 from the wide command line on Windows, and
  // "/tmp/x.mdb" is a file there too.
  app.allow_windows_style_options(false);
  platform::UseBinaryStandardStreams();
  const std::vector<std::string> arguments = platform::Arguments(argc, argv);
  std::vector<const char*> utf8_argv;
  for (const std::string& argument : arguments) utf8_argv.push_back(argument.c_str());
  // Help, the version and usage errors as CLI11 words them, in our lines.
  const auto exit_with = [&app](const CLI::Error& error) {
    std::ostringstream out, err;
    const int code = app.exit(error, out, err);
    std::fputs(platform::WithLineEnds(out.str()).c_str(), stdout);
    std::fputs(platform::WithLineEnds(err.str()).c_str(), stderr);
    return code == 0 ? 0 : kExitUsage;
  };
  try {
    app.parse(static_cast<int>(utf8_argv.size()), utf8_argv.data());
  } catch (const CLI::ParseError& error) {
    return exit_with(error);
  }
  if (files.empty() && create->count() == 0) {
    return exit_with(CLI::RequiredError(update->get_name() + " or " + create->get_name()));
  }

  if (create->count() > 0) {
    if (!CreateCalendar(new_calendar)) return 1;
    Print(stdout, new_calendar + ": new empty calendar");
    return 0;
  }

  if (trace) {
    ado::SetStatementTrace(
        [](std::string_view statement) { Print(stdout, std::string(statement)); });
  }
  CountingReporter reporter;
  errors::ScopedReporterEnvironment installed(reporter);
  bool all_finished = true;
  int saved = 0;  // files saved but not finished, each reported once
  for (const std::string& file : files) {
    ConsoleView view(file);
    wizard::Update(view, file);
    std::fflush(stdout);
    if (view.Finished()) continue;
    // A close that failed leaves the closed connection behind.
    const auto& connection = database::gDatabaseConnection;
    if (connection && connection->State() == ado::adStateClosed && connection->Saved()) {
      ++saved;
    } else {
      all_finished = false;
    }
  }
  // A failed run leaves its connection open; releasing it writes what the
  // run did, and a failure to do so is reported like any other.
  database::gDatabaseConnection.reset();
  if (!all_finished || reporter.reported() > saved) return 1;
  return saved > 0 ? 3 : 0;
}
