// The whole update run on copies of the shared calendars: what each file
// holds afterwards as mdbtools and our engine read it, that a second run
// changes nothing, that the indexes pass the independent checker, and the
// failure paths with their one report and the window state they leave.
#include "wizard/update.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ado/connection_string.h"
#include "ado/recordset.h"
#include "database/connection.h"
#include "errors/fake_reporter_environment.h"
#include "errors/runtime_error.h"
#include "jet/database.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace wizard {
namespace {

namespace fs = std::filesystem;
using errors::testing::FakeReporterEnvironment;
using errors::testing::TempFolder;
using tessaly::testing::RunProcess;
using tessaly::testing::SharedFileCopy;
using Json = nlohmann::json;

// The window as it is when its main button starts a run.
struct RecordingView : UpdateView {
  void SetStatusText(std::string_view text) override { status = text; }
  void SetMainButtonCaption(std::string_view text) override { caption = text; calls += "C"; }
  void SetMainButtonEnabled(bool on) override { main_enabled = on; calls += "M"; }
  void SetCancelEnabled(bool on) override { cancel_enabled = on; calls += "X"; }
  void YieldToEvents() override { yielded_with = status; }
  bool Finished() const {
    return status == kCompletedText && caption == "Finish" && main_enabled && !cancel_enabled &&
           calls == "CMX";
  }
  bool Stopped() const {
    return status == kWaitText && caption == "Next >" && !main_enabled && cancel_enabled &&
           calls.empty();
  }
  std::string status = "ready", caption = "Next >", calls, yielded_with;
  bool main_enabled = false, cancel_enabled = true;
};

// Every row of a table as mdb-json prints it.
std::vector<Json> MdbRows(const fs::path& mdb, const std::string& table) {
  auto result = RunProcess({"mdb-json", "-T", "%Y-%m-%d %H:%M", mdb.string(), table});
  EXPECT_EQ(result.exit_code, 0) << table << ": " << result.err;
  std::vector<Json> rows;
  size_t start = 0;
  for (size_t end; (end = result.out.find('\n', start)) != std::string::npos; start = end + 1) {
    rows.push_back(Json::parse(result.out.substr(start, end - start)));
  }
  return rows;
}

// The three tables as our engine reads them, row by row, in storage order.
std::string EngineDump(const fs::path& mdb) {
  auto db = jet::Database::Open(mdb.string());
  EXPECT_TRUE(db.ok()) << db.status().ToString();
  std::string dump;
  for (const char* name : {"Dates", "Events", "EventDates"}) {
    auto table = (*db)->GetTable(name);
    auto cursor = (*db)->Scan(*table);
    jet::Row row;
    jet::Status status;
    while ((*cursor)->Next(&row, &status)) {
      for (const jet::Value& v : row.values) {
        dump += v.kind() == jet::Value::Kind::kText ? std::string(v.text())
                                                    : std::to_string(v.real() + v.integer());
        dump += '|';
      }
      dump += '\n';
    }
    EXPECT_TRUE(status.ok()) << status.ToString();
  }
  auto problems = (*db)->Check();
  EXPECT_TRUE(problems.ok() && problems->empty()) << mdb;
  return dump;
}

class UpdateTest : public ::testing::Test {
 protected:
  void TearDown() override { database::gDatabaseConnection.reset(); }

  std::vector<std::string> Reports() const {
    std::vector<std::string> reports;
    for (const auto& box : environment_.boxes) {
      auto after = [&](const std::string& label) {
        const size_t at = box.text.find(label) + label.size();
        return box.text.substr(at, box.text.find('\r', at) - at);
      };
      reports.push_back(after("Module: \t\t") + " " + after("Line Number: \t"));
    }
    return reports;
  }

  TempFolder folder_;
  FakeReporterEnvironment environment_{folder_.path().string()};
  errors::ScopedReporterEnvironment scope_{environment_};
};

class FixtureTest : public UpdateTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FixtureTest, UpdatesOnceAndASecondRunChangesNothing) {
  SharedFileCopy copy("fixtures", GetParam());
  std::map<std::string, std::vector<Json>> before;
  for (const char* table : {"Dates", "Events", "EventDates"}) before[table] = MdbRows(copy.path(), table);

  RecordingView view;
  Update(view, copy.path().string());
  ASSERT_TRUE(view.Finished());
  EXPECT_EQ(view.yielded_with, kWaitText);
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(database::gDatabaseConnection, nullptr);

  std::map<std::string, std::vector<Json>> after;
  for (const char* table : {"Dates", "Events", "EventDates"}) after[table] = MdbRows(copy.path(), table);
  // Existing events and links survive byte for byte; other years' days too,
  // and 2010 days keep their notes.
  for (const char* table : {"Events", "EventDates"}) {
    std::multiset<std::string> now;
    for (const Json& row : after[table]) now.insert(row.dump());
    for (const Json& row : before[table]) EXPECT_EQ(now.count(row.dump()), 1u) << row.dump();
  }
  std::map<std::string, Json> days;
  for (const Json& row : after["Dates"]) days[row["DateKey"]] = row;
  for (const Json& row : before["Dates"]) {
    const std::string key = row["DateKey"];
    if (key.substr(0, 4) != "2010") {
      EXPECT_EQ(days[key], row);
    }
    EXPECT_EQ(days[key].value("DateNotes", ""), row.value("DateNotes", ""));
  }
  // EventCount equals the links of each day; every 2010 day has a row.
  std::map<std::string, int> links;
  for (const Json& row : after["EventDates"]) ++links[row["EventDate"]];
  int days_2010 = 0;
  for (const auto& [key, row] : days) {
    EXPECT_EQ(row.value("EventCount", -1), links[key]) << key;
    days_2010 += key.substr(0, 4) == "2010";
  }
  EXPECT_EQ(days_2010, 365);

  // All-day events of each 2010 day, by name.
  std::map<int, Json> events;
  for (const Json& row : after["Events"]) events[row["EventID"]] = row;
  std::multiset<std::string> all_day;
  for (const Json& link : after["EventDates"]) {
    const Json& event = events[link["EventId"]];
    if (event.value("AllDayEvent", 0) == 1) {
      all_day.insert(std::string(link["EventDate"]).substr(0, 10) + " " +
                     event.value("EventName", ""));
    }
  }
  EXPECT_EQ(all_day.count("2010-01-01 New Year's Day"), 1u);
  EXPECT_EQ(all_day.count("2010-12-24 Christmas Eve"), 1u);
  EXPECT_EQ(all_day.count("2010-02-14 Valentines Day"), 1u);
  EXPECT_EQ(days["2010-08-15 00:00"].value("DateText", ""), "");
  if (before["Events"].empty()) {
    EXPECT_EQ(after["Events"].size(), 80u);
    EXPECT_EQ(after["EventDates"].size(), 80u);
    EXPECT_EQ(all_day.size(), 80u);
  }

  auto check = tessaly::testing::RunJetcheck(copy.path());
  if (!check.java_missing) {
    EXPECT_TRUE(check.passed()) << check.output << check.error;
  }

  const std::string first = EngineDump(copy.path());
  RecordingView again;
  Update(again, copy.path().string());
  EXPECT_TRUE(again.Finished());
  EXPECT_EQ(EngineDump(copy.path()), first);
  for (const char* table : {"Dates", "Events", "EventDates"}) {
    EXPECT_EQ(MdbRows(copy.path(), table), after[table]) << table;
  }
  EXPECT_TRUE(Reports().empty());
}

INSTANTIATE_TEST_SUITE_P(SharedCalendars, FixtureTest,
                         ::testing::Values("tessdata-blank.mdb", "tessdata-2009.mdb",
                                           "tessdata-2009-access2003.mdb",
                                           "tessdata-textindex.mdb", "tessdata-large.mdb"));

TEST_F(UpdateTest, FailedOpenStopsTheRunWithOneReport) {
  RecordingView view;
  Update(view, (folder_.path() / "missing.mdb").string());
  EXPECT_TRUE(view.Stopped());
  EXPECT_EQ(Reports(), std::vector<std::string>{"frmMain.OpenDatabase 0"});
  ASSERT_NE(database::gDatabaseConnection, nullptr);
  EXPECT_EQ(database::gDatabaseConnection->State(), ado::adStateClosed);
}

TEST_F(UpdateTest, FailedDayMergeLeavesTheConnectionOpenAndALaterRunReplacesIt) {
  SharedFileCopy no_calendar("corpus", "testV2000.mdb");
  RecordingView view;
  Update(view, no_calendar.path().string());
  EXPECT_TRUE(view.Stopped());
  EXPECT_EQ(Reports(), std::vector<std::string>{"frmMain.InitDates 0"});
  ASSERT_NE(database::gDatabaseConnection, nullptr);
  EXPECT_EQ(database::gDatabaseConnection->State(), ado::adStateOpen);

  SharedFileCopy calendar("fixtures", "tessdata-blank.mdb");
  RecordingView next;
  Update(next, calendar.path().string());
  EXPECT_TRUE(next.Finished());
  EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(UpdateTest, FailedEventListEndsTheImportButTheRunFinishes) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  ado::SetStatementTrace([](std::string_view statement) {
    if (statement.find("FROM EventDates") != std::string_view::npos) {
      throw errors::RuntimeError(-2147467259, "Disk gone");
    }
  });
  RecordingView view;
  Update(view, copy.path().string());
  ado::SetStatementTrace(nullptr);
  EXPECT_TRUE(view.Finished());
  EXPECT_EQ(Reports(), std::vector<std::string>{"basDatabase.GetEventsByDate 70"});
  EXPECT_TRUE(MdbRows(copy.path(), "Events").empty());
  EXPECT_EQ(MdbRows(copy.path(), "Dates").size(), 365u);
}

TEST_F(UpdateTest, UnreadableLinkedEventIsReportedAndTheNameStillInserted) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  {
    ado::Connection connection;
    connection.Open(ado::ComposeConnectionString(copy.path().string()));
    connection.Execute("INSERT INTO EventDates (EventId, EventDate) VALUES ('4711','1/1/2010');");
    connection.Close();
  }
  RecordingView view;
  Update(view, copy.path().string());
  EXPECT_TRUE(view.Finished());
  EXPECT_EQ(Reports(), std::vector<std::string>{"basDatabase.GetEventData 80"});
  EXPECT_EQ(MdbRows(copy.path(), "Events").size(), 80u);
  EXPECT_EQ(environment_.boxes[0].log_when_shown.find("At line: 80\r\n") != std::string::npos, true);
}

// The batch command, copied into a folder of its own so that its error.log
// lands there.
TEST_F(UpdateTest, BatchCommandTracesStatementsAndExitsByOutcome) {
  SharedFileCopy copy("fixtures", "tessdata-blank.mdb");
  const fs::path program = folder_.path() / "tessaly-update-cli";
  fs::copy_file(fs::path(TESSALY_BIN_DIR) / "tessaly-update-cli", program);
  auto run = RunProcess({program.string(), "--trace", copy.path().string()});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("\nINSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, "
                         "EventColor, EventIcon, Notes, Recurring) VALUES ('New Year''s Day','1',"
                         "'0:00 AM','11:59 PM','','','','0');\n"),
            std::string::npos);
  EXPECT_NE(run.out.find(std::string(kCompletedText)), std::string::npos);

  auto failed = RunProcess({program.string(), copy.path().string(),
                            (folder_.path() / "none.mdb").string()});
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_NE(failed.err.find("Module: \t\tfrmMain.OpenDatabase\r\n"), std::string::npos);
  EXPECT_NE(errors::testing::ReadBytes(folder_.log()).find("In module: frmMain.OpenDatabase\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace wizard
