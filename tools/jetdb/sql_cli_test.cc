// Runs `jetdb sql` as the calendar update drives its database: the day merge
// of a whole year and new events with their links and day counters, each
// statement in the exact form the program composes. Afterwards mdbtools
// reads every table, the day counters agree with the links, and the
// independent index checker accepts every index.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "jet/database.h"
#include "sql/session.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace {

using tessaly::testing::ProcessResult;
using tessaly::testing::RunProcess;
using tessaly::testing::SharedFileCopy;

const std::string kJetdb = std::string(TESSALY_BIN_DIR) + "/jetdb";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// mdb-json's rows of one table, parsed.
std::vector<nlohmann::json> ReadWithMdbJson(const std::string& path, const std::string& table) {
  const ProcessResult result = RunProcess({"mdb-json", path, table});
  EXPECT_EQ(result.exit_code, 0) << "mdb-json " << table << ": " << result.err << result.error;
  std::vector<nlohmann::json> rows;
  for (const std::string& line : Lines(result.out)) {
    rows.push_back(nlohmann::json::parse(line, nullptr, false));
    EXPECT_FALSE(rows.back().is_discarded()) << table << ": " << line;
  }
  return rows;
}

std::string DayText(int month, int day, int year) {
  return std::to_string(month) + "/" + std::to_string(day) + "/" + std::to_string(year);
}

TEST(SqlCliTest, CalendarUpdateWorkloadKeepsTheFileSound) {
  const SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  const std::string path = copy.path().string();

  // What the file holds before: the program asks the same with a SELECT
  // before each write, and so decides between UPDATE and INSERT.
  std::vector<std::string> days;
  for (int month = 1; month <= 12; ++month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int day = 1; day <= kDays[month - 1]; ++day) days.push_back(DayText(month, day, 2010));
  }
  std::map<std::string, int64_t> counts;  // day -> EventCount, for days that have a row
  int64_t next_id = 0;
  {
    auto db = jet::Database::Open(path);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    sql::Session session(**db);
    for (const std::string& day : days) {
      sql::Outcome outcome;
      sql::Error error;
      ASSERT_TRUE(
          session.Execute("SELECT * FROM Dates WHERE DateKey = #" + day + "#", &outcome, &error))
          << error.description;
      if (!outcome.result.rows.empty()) counts[day] = outcome.result.rows[0].values[2].integer();
    }
    next_id = (*db)->GetTable("Events")->autonumber_last + 1;
  }
  ASSERT_FALSE(counts.empty());
  ASSERT_LT(counts.size(), days.size());

  std::vector<std::string> statements;
  static constexpr const char* kColours[] = {"White", "Green", "Purple", "Red", "Blue"};
  for (size_t i = 0; i < days.size(); ++i) {
    const std::string& day = days[i];
    const std::string colour = kColours[i % 5];
    const std::string text = i % 7 == 0 ? "Saint " + std::to_string(i) + "''s Day" : "";
    statements.push_back("SELECT * FROM Dates WHERE (((Dates.DateKey)=#" + day + "#));");
    if (counts.count(day) != 0) {
      statements.push_back("UPDATE Dates SET DateColor = '" + colour + "', DateText = '" + text +
                           "' WHERE (((Dates.DateKey)=#" + day + "#));");
    } else {
      statements.push_back(
          "INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) VALUES ('" +
          day + "','" + colour + "','0','','" + text + "');");
      counts[day] = 0;
    }
  }
  std::vector<std::string> identities;
  for (int event = 0; event < 40; ++event) {
    statements.push_back(
        "INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, EventIcon, "
        "Notes, Recurring) "
        "VALUES ('Feast " +
        std::to_string(event) + "''s Day','1','0:00 AM','11:59 PM','','','','0');");
    statements.push_back("SELECT @@IDENTITY");
    const std::string id = std::to_string(next_id + event);
    identities.push_back("{\"Expr1000\":" + id + "}");
    for (int link = 0; link < 2; ++link) {
      const std::string& day = days[(event * 37 + link * 101) % days.size()];
      statements.push_back("INSERT INTO EventDates (EventId, EventDate) VALUES ('" + id + "','" +
                           day + "');");
      statements.push_back("SELECT * FROM Dates WHERE (((Dates.DateKey)=#" + day + "#));");
      statements.push_back("UPDATE Dates SET EventCount = " + std::to_string(++counts[day]) +
                           " WHERE (((Dates.DateKey)=#" + day + "#));");
    }
  }
  ASSERT_GE(statements.size(), 1000u);

  // One a line on standard input: a thousand statements are too long for a
  // Windows command line.
  const std::string script = copy.dir().string() + "/workload.sql";
  {
    std::ofstream out(script, std::ios::binary);
    for (const std::string& statement : statements) out << statement << "\n";
  }
  const ProcessResult run = RunProcess({kJetdb, "sql", path}, script);
  ASSERT_EQ(run.exit_code, 0) << run.err << run.error;
  // One line per day selected (each has its row by the time it is asked
  // for, except the days the merge inserts), and the identities in order.
  std::vector<std::string> got_identities;
  for (const std::string& line : Lines(run.out)) {
    if (line.rfind("{\"Expr1000\"", 0) == 0) got_identities.push_back(line);
  }
  EXPECT_EQ(got_identities, identities);

  const ProcessResult check = RunProcess({kJetdb, "check", path});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  if (!tessaly::testing::kLinuxOracles) return;

  // mdb-json reads every table; every day's counter equals its links.
  const std::vector<nlohmann::json> dates = ReadWithMdbJson(path, "Dates");
  const std::vector<nlohmann::json> events = ReadWithMdbJson(path, "Events");
  const std::vector<nlohmann::json> links = ReadWithMdbJson(path, "EventDates");
  std::map<std::string, int64_t> links_per_day;
  for (const nlohmann::json& link : links) ++links_per_day[link.value("EventDate", "")];
  size_t year_2010 = 0;
  for (const nlohmann::json& day : dates) {
    const std::string key = day.value("DateKey", "");
    if (key.find("/10 ") != std::string::npos) ++year_2010;
    EXPECT_EQ(day.value("EventCount", int64_t{-1}), links_per_day[key]) << key;
  }
  EXPECT_EQ(year_2010, days.size());
  size_t feasts = 0;
  for (const nlohmann::json& event : events) {
    if (event.value("EventName", "").find("'s Day") != std::string::npos &&
        event.value("EventName", "").rfind("Feast ", 0) == 0) {
      ++feasts;
    }
  }
  EXPECT_EQ(feasts, 40u);
  const tessaly::testing::JetcheckResult jetcheck = tessaly::testing::RunJetcheck(copy.path());
  if (jetcheck.java_missing) GTEST_SKIP() << jetcheck.error;
  EXPECT_TRUE(jetcheck.passed()) << jetcheck.output << jetcheck.error;
}

TEST(SqlCliTest, StopsAtTheFirstFailingStatementAndKeepsTheOnesBefore) {
  const SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  const std::string path = copy.path().string();
  const ProcessResult run =
      RunProcess({kJetdb, "sql", path,
                  "UPDATE Dates SET DateColor = 'Gold' WHERE (((Dates.DateKey)=#1/6/2010#));",
                  "UPDATE Dates SET DateText = 'Saint's Day' WHERE (((Dates.DateKey)=#1/6/2010#));",
                  "UPDATE Dates SET DateColor = 'Rose' WHERE (((Dates.DateKey)=#1/6/2010#));"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err,
            "statement 2: Syntax error in UPDATE statement at character 36: expected the end of "
            "the statement, "
            "found 's'\n");
  const ProcessResult read =
      RunProcess({kJetdb, "sql", path, "SELECT * FROM Dates WHERE DateKey = #1/6/2010#"});
  EXPECT_EQ(read.exit_code, 0) << read.err;
  EXPECT_NE(read.out.find("\"DateColor\":\"Gold\""), std::string::npos) << read.out;
}

TEST(SqlCliTest, ReadsStatementsFromStandardInput) {
  const SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  const std::string script = copy.dir().string() + "/script.sql";
  std::FILE* out = std::fopen(script.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fputs(
      "SELECT @@IDENTITY\r\n\nINSERT INTO Events (EventName, AllDayEvent, Recurring) VALUES "
      "('A','0','0');\n"
      "SELECT @@IDENTITY\nSELECT * FROM Nowhere\n",
      out);
  std::fclose(out);
  const ProcessResult run = RunProcess({kJetdb, "sql", copy.path().string()}, script);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "{\"Expr1000\":0}\n{\"Expr1000\":26}\n");
  EXPECT_EQ(run.err, "statement 5: The table Nowhere (character 15) does not exist\n");
  const ProcessResult help = RunProcess({kJetdb, "sql", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("STATEMENT"), std::string::npos);
}

}  // namespace
