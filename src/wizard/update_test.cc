// The whole update run on copies of the shared calendars, read back with
// mdbtools and our engine; a second run changes nothing; the failure paths
// with their one report and the window state they leave.
#include "wizard/update.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <fstream>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "ado/connection_string.h"
#include "database/connection.h"
#include "jet/database.h"
#include "support/access97_calendar.h"
#include "support/child_process.h"
#include "support/fake_reporter_environment.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace wizard {
namespace {

using errors::testing::ErrorLog;
using tessaly::testing::FileBytes;
using tessaly::testing::RunProcess;
using tessaly::testing::SharedFileCopy;
using Rows = std::vector<nlohmann::json>;

struct RecordingView : UpdateView {  // the window as its main button starts a run
  void SetStatusText(std::string_view text) override { status = text; }
  void SetMainButtonCaption(std::string_view text) override {
    calls += "caption " + std::string(text) + ",";
  }
  void SetMainButtonEnabled(bool on) override { calls += on ? "main on," : "main off,"; }
  void SetCancelEnabled(bool on) override { calls += on ? "cancel on," : "cancel off,"; }
  void YieldToEvents() override { calls += "yield " + status + ","; }
  bool Finished() const {
    return status == kCompletedText &&
           calls == "yield " + std::string(kWaitText) + ",caption Finish,main on,cancel off,";
  }
  bool Stopped() const {
    return status == kWaitText && calls == "yield " + std::string(kWaitText) + ",";
  }
  std::string status, calls;
};

// The rows of a table as mdb-json gives them with dates as days. Where
// mdbtools cannot run (Windows), jetdb's export put into that form: dates
// cut to the day, Yes/No as 1/0, null columns left out.
Rows MdbRows(const std::filesystem::path& file, const std::string& table) {
  auto result =
      tessaly::testing::kLinuxOracles
          ? RunProcess({"mdb-json", "-T", "%Y-%m-%d", file.string(), table})
          : RunProcess({tessaly::testing::BuiltProgram("jetdb"), "export", file.string(), table});
  EXPECT_EQ(result.exit_code, 0) << table << ": " << result.err;
  Rows rows;
  for (size_t start = 0, end; (end = result.out.find('\n', start)) != std::string::npos;
       start = end + 1) {
    nlohmann::json row = nlohmann::json::parse(result.out.substr(start, end - start));
    if (!tessaly::testing::kLinuxOracles) {
      nlohmann::json as_mdbtools = nlohmann::json::object();
      for (auto& [key, value] : row.items()) {
        if (value.is_null()) continue;
        if (value.is_boolean()) value = value.get<bool>() ? 1 : 0;
        if (value.is_string() && value.get<std::string>().size() == 19 &&
            value.get<std::string>()[10] == 'T') {
          value = value.get<std::string>().substr(0, 10);
        }
        as_mdbtools[key] = value;
      }
      row = as_mdbtools;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// The tables as our engine reads them, after its check finds nothing wrong.
std::string EngineDump(const std::filesystem::path& file) {
  auto db = jet::Database::Open(file.string());
  auto problems = (*db)->Check();
  EXPECT_TRUE(problems.ok() && problems->empty());
  std::string dump;
  for (const char* name : {"Dates", "Events", "EventDates"}) {
    auto cursor = (*db)->Scan(*(*db)->GetTable(name));
    jet::Row row;
    jet::Status status;
    while ((*cursor)->Next(&row, &status)) {
      for (const jet::Value& v : row.values)
        dump += std::string(v.text()) + std::to_string(v.real() + v.integer()) + "|";
    }
    EXPECT_TRUE(status.ok()) << status.ToString();
  }
  return dump;
}

class UpdateTest : public ::testing::TestWithParam<const char*> {
 protected:
  void TearDown() override { database::gDatabaseConnection.reset(); }
  tessaly::testing::TempFolder folder_;
  errors::testing::FakeReporterEnvironment environment_{folder_.path().string()};
  errors::ScopedReporterEnvironment scope_{environment_};
};

TEST_P(UpdateTest, UpdatesOnceAndASecondRunChangesNothing) {
  SharedFileCopy copy("fixtures", GetParam());
  std::map<std::string, Rows> before, after;
  for (const char* table : {"Dates", "Events", "EventDates"})
    before[table] = MdbRows(copy.path(), table);
  RecordingView view;
  Update(view, copy.path().string());
  ASSERT_TRUE(view.Finished()) << view.calls;
  EXPECT_EQ(database::gDatabaseConnection, nullptr);
  for (const char* table : {"Dates", "Events", "EventDates"})
    after[table] = MdbRows(copy.path(), table);

  // Existing events and links survive byte for byte, other years' days too,
  // and 2010 days keep their notes.
  for (const char* table : {"Events", "EventDates"}) {
    std::multiset<std::string> now;
    for (const auto& row : after[table]) now.insert(row.dump());
    for (const auto& row : before[table]) EXPECT_EQ(now.count(row.dump()), 1u) << row.dump();
  }
  std::map<std::string, nlohmann::json> days;
  for (const auto& row : after["Dates"]) days[row["DateKey"]] = row;
  for (const auto& row : before["Dates"]) {
    const std::string key = row["DateKey"];
    EXPECT_EQ(days[key].value("DateNotes", ""), row.value("DateNotes", "")) << key;
    if (key < "2010" || key > "2011") {
      EXPECT_EQ(days[key], row) << key;
    }
  }
  // EventCount counts the links of each day; every 2010 day has a row.
  std::map<std::string, int> links;
  std::map<int, nlohmann::json> events;
  std::multiset<std::string> all_day;
  for (const auto& row : after["EventDates"]) ++links[row["EventDate"]];
  for (const auto& [key, row] : days) EXPECT_EQ(row.value("EventCount", -1), links[key]) << key;
  EXPECT_EQ(
      std::count_if(days.begin(), days.end(), [](auto& d) { return d.first.starts_with("2010"); }),
      365);
  for (const auto& row : after["Events"]) events[row["EventID"]] = row;
  for (const auto& link : after["EventDates"]) {
    EXPECT_EQ(events.count(link["EventId"]), 1u) << "a link to no event: " << link.dump();
    const auto& event = events[link["EventId"]];
    if (event.value("AllDayEvent", 0) == 1)
      all_day.insert(link["EventDate"].get<std::string>() + " " + event.value("EventName", ""));
  }
  for (const char* day :
       {"2010-01-01 New Year's Day", "2010-12-24 Christmas Eve", "2010-02-14 Valentines Day"}) {
    EXPECT_EQ(all_day.count(day), 1u) << day;
  }
  EXPECT_EQ(days["2010-08-15"].value("DateText", ""), "");
  // A calendar with further columns: each new row holds their default values.
  if (!before["Dates"].empty() && before["Dates"][0].contains("Season")) {
    for (const auto& [key, row] : days) {
      if (!key.starts_with("2010")) continue;
      EXPECT_EQ(row.value("Season", ""), "Ordinary") << key;
      EXPECT_EQ(row.value("Holiday", -1), 0) << key;
    }
    for (const auto& row : after["Events"]) {
      EXPECT_EQ(row.value("Category", -1), 0) << row.dump();
      EXPECT_EQ(row.value("Priority", -1), 1) << row.dump();
      EXPECT_TRUE(row.contains("Created")) << row.dump();
    }
  }
  if (before["Events"].empty()) {  // 80 events, each all-day and linked once
    EXPECT_EQ(after["EventDates"].size() + all_day.size() + after["Events"].size(), 240u);
  }
  if (auto check = tessaly::testing::RunJetcheck(copy.path()); !check.java_missing) {
    EXPECT_TRUE(check.passed()) << check.output << check.error;
  }

  const std::string first = EngineDump(copy.path());
  const std::string file = FileBytes(copy.path());
  RecordingView again;
  Update(again, copy.path().string());
  EXPECT_TRUE(again.Finished());
  EXPECT_EQ(EngineDump(copy.path()), first);
  EXPECT_TRUE(FileBytes(copy.path()) == file) << "a rerun changed the file";
  for (const char* table : {"Dates", "Events", "EventDates"})
    EXPECT_EQ(MdbRows(copy.path(), table), after[table]);
  EXPECT_TRUE(environment_.Reports().empty());
}

INSTANTIATE_TEST_SUITE_P(SharedCalendars, UpdateTest,
                         ::testing::Values("tessdata-blank.mdb", "tessdata-2009.mdb",
                                           "tessdata-2009-access2003.mdb", "tessdata-textindex.mdb",
                                           "tessdata-large.mdb", "tessdata-designed.mdb"));

// The rows of a table in key order, their text as code page 1252 holds it.
std::multiset<std::string> RowsIn1252(const std::filesystem::path& file, const std::string& table) {
  std::multiset<std::string> rows;
  for (nlohmann::json row : MdbRows(file, table)) {
    for (auto& [key, value] : row.items()) {
      if (value.is_string()) value = tessaly::testing::InCodePage1252(value.get<std::string>());
    }
    rows.insert(row.dump());
  }
  return rows;
}

// An Access 97 calendar made from tessdata-2009 ends in the state the
// update gives the Jet 4 file (its rows in another order, as Access 97's
// smaller pages place them), and a rerun leaves it byte for byte.
TEST_F(UpdateTest, AnAccess97CalendarEndsInTheStateOfTheJet4One) {
  SharedFileCopy jet4("fixtures", "tessdata-2009.mdb");
  const std::filesystem::path jet3 = folder_.path() / "calendar97.mdb";
  ASSERT_EQ(tessaly::testing::MakeAccess97Calendar(jet4.path(), jet3), "");
  for (const std::filesystem::path& file : {jet4.path(), jet3}) {
    RecordingView view;
    Update(view, file.string());
    ASSERT_TRUE(view.Finished()) << file << ": " << view.calls;
  }
  for (const char* table : {"Dates", "Events", "EventDates"}) {
    EXPECT_EQ(RowsIn1252(jet3, table), RowsIn1252(jet4.path(), table)) << table;
  }
  if (auto check = tessaly::testing::RunJetcheck(jet3); !check.java_missing) {
    EXPECT_TRUE(check.passed()) << check.output << check.error;
  }
  const std::string first = EngineDump(jet3);
  const std::string file = FileBytes(jet3);
  RecordingView again;
  Update(again, jet3.string());
  EXPECT_TRUE(again.Finished());
  EXPECT_TRUE(FileBytes(jet3) == file) << "a rerun changed the file";
  EXPECT_TRUE(environment_.Reports().empty());
}

// A killed --new-calendar of the same name left its temporary calendar and
// log: the run on that name removes them, and nothing else.
TEST_F(UpdateTest, ClearsWhatAKilledNewCalendarLeftBesideTheCalendar) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  const std::string base = copy.path().string();
  std::filesystem::copy_file(copy.path(), base + ".new-42");
  std::ofstream(base + ".new-42-wal") << "";
  std::ofstream(base + ".new-7-wal") << "";
  std::ofstream(base + ".new-mine") << "kept";
  RecordingView view;
  Update(view, base);
  ASSERT_TRUE(view.Finished()) << view.calls;
  for (const char* gone : {".new-42", ".new-42-wal", ".new-7-wal"}) {
    EXPECT_FALSE(std::filesystem::exists(base + gone)) << gone;
  }
  EXPECT_TRUE(std::filesystem::exists(base + ".new-mine"));
}

TEST_F(UpdateTest, FailuresStopTheRunOnlyBeforeTheImportAndAreReportedOnce) {
  RecordingView missing, no_calendar, no_event_list;
  Update(missing, (folder_.path() / "missing.mdb").string());
  EXPECT_TRUE(missing.Stopped());
  EXPECT_EQ(database::gDatabaseConnection->State(), ado::adStateClosed);

  SharedFileCopy other("corpus", "testV2000.mdb");  // an Access file without the calendar tables
  Update(no_calendar, other.path().string());
  EXPECT_TRUE(no_calendar.Stopped());
  EXPECT_EQ(database::gDatabaseConnection->State(), ado::adStateOpen);

  SharedFileCopy blank("fixtures", "tessdata-blank.mdb");
  ado::SetStatementTrace([](std::string_view statement) {
    if (statement.find("FROM EventDates") != statement.npos)
      throw errors::RuntimeError(-2147467259, "Disk gone");
  });
  Update(no_event_list, blank.path().string());  // replaces the connection left open
  ado::SetStatementTrace(nullptr);
  EXPECT_TRUE(no_event_list.Finished());
  EXPECT_EQ(MdbRows(blank.path(), "Dates").size(), 365u);
  EXPECT_TRUE(MdbRows(blank.path(), "Events").empty());

  // A link to an event that cannot be read: reported, and the name inserted.
  database::gDatabaseConnection = std::make_unique<ado::Connection>();
  database::gDatabaseConnection->Open(ado::ComposeConnectionString(blank.path().string()));
  database::gDatabaseConnection->Execute(
      "INSERT INTO EventDates (EventId, EventDate) VALUES ('4711','1/1/2010');");
  RecordingView unreadable;
  Update(unreadable, blank.path().string());
  EXPECT_TRUE(unreadable.Finished());
  EXPECT_EQ(MdbRows(blank.path(), "Events").size(), 80u);
  EXPECT_EQ(
      environment_.Reports(),
      (std::vector<std::string>{"frmMain.OpenDatabase 0", "frmMain.InitDates 0",
                                "basDatabase.GetEventsByDate 70", "basDatabase.GetEventData 80"}));
}

// The batch command, copied into a folder of its own for its error.log.
TEST_F(UpdateTest, BatchCommandTracesStatementsAndExitsByOutcome) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  const std::string program =
      (folder_.path() /
       std::filesystem::path(tessaly::testing::BuiltProgram("tessaly-update-cli")).filename())
          .string();
  std::filesystem::copy_file(tessaly::testing::BuiltProgram("tessaly-update-cli"), program);
  auto run = RunProcess({program, "--trace", copy.path().string()});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(
      run.out.find(
          "\nINSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, "
          "EventIcon, "
          "Notes, Recurring) VALUES ('New Year''s Day','1','0:00 AM','11:59 PM','','','','0');\n"),
      std::string::npos);
  auto failed = RunProcess({program, copy.path().string(), (folder_.path() / "none.mdb").string()});
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_NE(failed.raw_err.find("Module: \t\tfrmMain.OpenDatabase\r\n"), std::string::npos);
  EXPECT_NE(FileBytes(ErrorLog(folder_)).find("In module: frmMain.OpenDatabase\r\n"),
            std::string::npos);
}

// The batch command on calendars with one damaged byte: each failure is
// reported once and the exit status is 1, also when the run goes on to the
// end; a failure at the first write leaves the file as it was.
TEST_F(UpdateTest, BatchCommandExitsWithOneForEveryReportedFailure) {
  struct Damage {
    uint32_t page, offset;
    char byte;
    const char* module;
    const char* description;
    bool finishes;  // the run still reaches the Finish state
  };
  const Damage damages[] = {
      {28, 493, '\xEF', "basDatabase.AddEventToDatabase",  // Events' definition
       "The database file is damaged: table Events: index PrimaryKey names column number 61439",
       true},
      {51, 219, '\x08', "frmMain.InitDates",  // a leaf of Dates.DateColor
       "The database file is damaged: index DateColor of table Dates, page 51: entry 118", false},
  };
  const std::string program =
      (folder_.path() /
       std::filesystem::path(tessaly::testing::BuiltProgram("tessaly-update-cli")).filename())
          .string();
  std::filesystem::copy_file(tessaly::testing::BuiltProgram("tessaly-update-cli"), program);
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.module);
    SharedFileCopy copy("fixtures", "tessdata-textindex.mdb");
    {
      std::fstream file(copy.path(), std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(std::streamoff{d.page} * 4096 + d.offset);
      file.put(d.byte);
    }
    const std::string before = FileBytes(copy.path());
    auto run = RunProcess({program, copy.path().string()});
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    EXPECT_EQ(run.out.find(": Update completed!") != std::string::npos, d.finishes) << run.out;
    EXPECT_EQ(run.out.find("Finish"), std::string::npos) << "no button to click";
    size_t reports = 0;
    for (size_t at = 0; (at = run.err.find("An error has occurred.", at)) != std::string::npos;
         ++at) {
      ++reports;
    }
    EXPECT_EQ(reports, 1u) << run.err;
    EXPECT_NE(run.raw_err.find("Module: \t\t" + std::string(d.module) + "\r\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(d.description), std::string::npos) << run.err;
    if (!d.finishes) {
      EXPECT_TRUE(FileBytes(copy.path()) == before) << "the file changed";
    }
  }
}

}  // namespace
#ifdef _WIN32
// Another program that holds the file open for writing, sharing reading and
// writing, as the calendar itself does through Access while it runs: it
// says so in the file `args[1]`, and lets go once `args[2]` exists.
TESSALY_TEST_CHILD(HoldOpenForWriting) {
  HANDLE file = CreateFileW(std::filesystem::path(args.at(0)).wstring().c_str(),
                            GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::ofstream(args.at(1)) << "held";
  for (int waited = 0; !std::filesystem::exists(args.at(2)) && waited < 60000; waited += 10)
    Sleep(10);
  CloseHandle(file);
  return 0;
}

TEST_F(UpdateTest, ACalendarThatAnotherProgramHoldsForWritingIsRefusedAndLeftAsItWas) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  const std::string held = (folder_.path() / "held").string(),
                    release = (folder_.path() / "release").string();
  const std::string before = FileBytes(copy.path());
  tessaly::testing::BackgroundChild holder("HoldOpenForWriting",
                                           {copy.path().string(), held, release});
  for (int waited = 0; !std::filesystem::exists(held) && waited < 20000; waited += 10) Sleep(10);
  ASSERT_TRUE(std::filesystem::exists(held));

  RecordingView view;
  Update(view, copy.path().string());
  EXPECT_TRUE(view.Stopped());
  EXPECT_EQ(environment_.Reports(), std::vector<std::string>{"frmMain.OpenDatabase 0"});
  ASSERT_EQ(environment_.boxes.size(), 1u);
  EXPECT_NE(environment_.boxes[0].text.find("in use by another program"), std::string::npos)
      << environment_.boxes[0].text;
  std::ofstream(release) << "done";
  EXPECT_EQ(holder.Wait(), 0);
  EXPECT_TRUE(FileBytes(copy.path()) == before);
  EXPECT_FALSE(std::filesystem::exists(copy.path().string() + "-wal"));
}
#endif

}  // namespace wizard
