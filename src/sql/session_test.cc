#include "sql/session.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sql/convert.h"
#include "support/access97_calendar.h"
#include "support/jetcheck.h"
#include "support/shared_copy.h"

namespace sql {
namespace {

using tessaly::testing::SharedFileCopy;
using tessaly::testing::SharedPath;

class SessionTest : public ::testing::Test {
 protected:
  // Opens a copy of `fixture`, or (null) the copy made before again.
  void Open(const char* fixture = "tessdata-2009.mdb") {
    if (fixture != nullptr) copy_ = std::make_unique<SharedFileCopy>("fixtures", fixture);
    jet::OpenOptions options;
    options.read_only = false;
    options.sync = false;
    auto db = jet::Database::Open(copy_->path().string(), options);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    db_ = std::move(*db);
    session_ = std::make_unique<Session>(*db_);
  }
  void SetUp() override { Open(); }

  Outcome Run(const std::string& text) {
    Outcome outcome;
    Error error;
    EXPECT_TRUE(session_->Execute(text, &outcome, &error)) << text << "\n" << error.description;
    return outcome;
  }
  Error RunBad(const std::string& text) {
    Outcome outcome;
    Error error;
    EXPECT_FALSE(session_->Execute(text, &outcome, &error)) << text;
    return error;
  }
  size_t Count(const std::string& table, const std::string& where = "") {
    return Run("SELECT * FROM " + table + (where.empty() ? "" : " WHERE " + where))
        .result.rows.size();
  }

  std::unique_ptr<SharedFileCopy> copy_;
  std::unique_ptr<jet::Database> db_;
  std::unique_ptr<Session> session_;
};

const char kInsertNewYear[] =
    "INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, EventIcon, Notes, "
    "Recurring) "
    "VALUES ('New Year''s Day','1','0:00 AM','11:59 PM','','','','0');";

TEST_F(SessionTest, StatementsOfTheCalendarUpdateVerbatim) {
  // Before any insert the identity is 0.
  Outcome identity = Run("SELECT @@IDENTITY");
  ASSERT_EQ(identity.result.rows.size(), 1u);
  EXPECT_EQ(identity.result.columns[0].name, "Expr1000");
  EXPECT_EQ(identity.result.rows[0].values[0].integer(), 0);

  Outcome day = Run("SELECT * FROM Dates WHERE (((Dates.DateKey)=#1/6/2010#));");
  ASSERT_TRUE(day.has_rows);
  ASSERT_EQ(day.result.rows.size(), 1u);
  ASSERT_EQ(day.result.columns.size(), 5u);
  EXPECT_EQ(day.result.columns[0].name, "DateKey");
  EXPECT_EQ(day.result.rows[0].values[0].real(), 40184.0);

  EXPECT_EQ(Run(kInsertNewYear).rows_affected, 1);
  const int64_t id = Run("SELECT @@IDENTITY").result.rows[0].values[0].integer();
  EXPECT_GT(id, 0);
  EXPECT_EQ(id, session_->last_identity());
  Outcome event =
      Run("SELECT * FROM Events WHERE (((Events.EventID)=" + std::to_string(id) + "));");
  ASSERT_EQ(event.result.rows.size(), 1u);
  const std::vector<jet::Value>& e = event.result.rows[0].values;
  EXPECT_EQ(e[1].text(), "New Year's Day");
  EXPECT_TRUE(e[2].boolean());
  EXPECT_EQ(e[3].real(), 0.0);
  EXPECT_NEAR(e[4].real(), (23 * 60 + 59) / 1440.0, 1e-9);
  EXPECT_EQ(e[5].text(), "");
  EXPECT_FALSE(e[8].boolean());

  const std::string link = "INSERT INTO EventDates (EventId, EventDate) VALUES ('" +
                           std::to_string(id) + "','1/1/2010');";
  const size_t links = Count("EventDates", "(((EventDates.EventDate)=#1/1/2010#))");
  Run(link);
  EXPECT_EQ(Count("EventDates", "(((EventDates.EventDate)=#1/1/2010#))"), links + 1);

  EXPECT_EQ(
      Run("UPDATE Dates SET EventCount = 3 WHERE (((Dates.DateKey)=#1/1/2010#));").rows_affected,
      1);
  EXPECT_EQ(Run("SELECT * FROM Dates WHERE (((Dates.DateKey)=#1/1/2010#));")
                .result.rows[0]
                .values[2]
                .integer(),
            3);
  Run("UPDATE Dates SET DateColor = 'White', DateText = '' WHERE (((Dates.DateKey)=#1/1/2010#));");

  EXPECT_EQ(Count("Dates", "DateKey = #1/1/2031#"), 0u);
  Run("INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) VALUES "
      "('1/1/2031','','1','','');");
  Outcome added = Run("SELECT * FROM Dates WHERE (((Dates.DateKey)=#1/1/2031#));");
  ASSERT_EQ(added.result.rows.size(), 1u);
  EXPECT_EQ(added.result.rows[0].values[2].integer(), 1);

  // An insert into a table without an AutoNumber keeps the identity.
  EXPECT_EQ(session_->last_identity(), id);
  EXPECT_TRUE(db_->Check()->empty());
}

TEST_F(SessionTest, UpdateMatchingNoRowSucceeds) {
  const Outcome outcome =
      Run("UPDATE Dates SET EventCount = 3 WHERE (((Dates.DateKey)=#1/1/1900#));");
  EXPECT_FALSE(outcome.has_rows);
  EXPECT_EQ(outcome.rows_affected, 0);
}

TEST_F(SessionTest, UpdateChangesEveryMatchingRowInOneUnit) {
  const size_t wednesdays = Count("EventDates", "EventId = 17");
  ASSERT_GT(wednesdays, 50u);
  EXPECT_EQ(Run("UPDATE EventDates SET EventId = 9999 WHERE EventId = 17").rows_affected,
            static_cast<int64_t>(wednesdays));
  EXPECT_EQ(Count("EventDates", "EventId = 17"), 0u);
  EXPECT_EQ(Count("EventDates", "EventId = 9999"), wednesdays);
  EXPECT_TRUE(db_->Check()->empty());
}

TEST_F(SessionTest, WritesToAReadOnlyDatabaseAreRefusedAsADatabaseError) {
  auto db = jet::Database::Open(copy_->path().string());
  ASSERT_TRUE(db.ok());
  Session reader(**db);
  Outcome outcome;
  Error error;
  EXPECT_TRUE(reader.Execute("SELECT * FROM Dates WHERE DateKey = #1/6/2010#", &outcome, &error));
  EXPECT_EQ(outcome.result.rows.size(), 1u);
  EXPECT_FALSE(reader.Execute("UPDATE Dates SET EventCount = 3 WHERE DateKey = #1/6/2010#",
                              &outcome, &error));
  EXPECT_EQ(error.kind, ErrorKind::kDatabase);
  EXPECT_NE(error.description.find("Cannot change table Dates: "), std::string::npos)
      << error.description;
}

// The second row's new key repeats the first's: the whole UPDATE fails and
// the first row keeps its key.
TEST_F(SessionTest, UpdateFailingOnALaterRowChangesNoRow) {
  const Error error = RunBad(
      "UPDATE Dates SET DateKey = #1/1/2035# WHERE DateKey >= #1/2/2009# AND DateKey <= "
      "#1/3/2009#");
  EXPECT_EQ(error.kind, ErrorKind::kConstraint) << error.description;
  EXPECT_EQ(Count("Dates", "DateKey = #1/1/2035#"), 0u);
  EXPECT_EQ(Count("Dates", "DateKey >= #1/2/2009# AND DateKey <= #1/3/2009#"), 2u);
  EXPECT_TRUE(db_->Check()->empty());
}

struct BadCase {
  std::string statement;
  ErrorKind kind;
  const char* message;
};

TEST_F(SessionTest, ErrorsNameWhatFailedAndChangeNothing) {
  const BadCase cases[] = {
      {"INSERT INTO Events (EventName, AllDayEvent) VALUES ('New Year's Day','1');",
       ErrorKind::kSyntax,
       "Syntax error in INSERT INTO statement at character 63: expected ',' or ')' after a value, "
       "found 's'"},
      {"SELECT * FROM Holidays", ErrorKind::kNoSuchTable, "Holidays"},
      {"UPDATE Holidays SET a = 1", ErrorKind::kNoSuchTable, "Holidays"},
      {"INSERT INTO Events (EventTitle) VALUES ('x')", ErrorKind::kNoSuchColumn,
       "Events has no column EventTitle"},
      {"UPDATE Dates SET Colour = 'x'", ErrorKind::kNoSuchColumn, "Dates has no column Colour"},
      {"SELECT * FROM Dates WHERE (((Events.DateKey)=#1/1/2010#))", ErrorKind::kNoSuchColumn,
       "Events.DateKey"},
      {"INSERT INTO Events (EventName, AllDayEvent) VALUES ('x','maybe')", ErrorKind::kTypeMismatch,
       "Data type mismatch: column Events.AllDayEvent (Yes/No) cannot take the value 'maybe'"},
      {"INSERT INTO Dates (DateKey) VALUES ('1/32/2010')", ErrorKind::kTypeMismatch,
       "Dates.DateKey"},
      {"UPDATE Dates SET EventCount = 'many'", ErrorKind::kTypeMismatch, "Dates.EventCount (Long)"},
      {"UPDATE Dates SET EventCount = 2147483648", ErrorKind::kTypeMismatch,
       "Overflow: the value 2147483648 does not fit column Dates.EventCount (Long)"},
      {"SELECT * FROM Dates WHERE DateKey = 'tomorrow'", ErrorKind::kTypeMismatch, "'tomorrow'"},
      {"SELECT * FROM Dates WHERE DateColor = EventCount", ErrorKind::kTypeMismatch,
       "Data type mismatch: column Dates.DateColor (Text) cannot be compared with column "
       "Dates.EventCount (Long)"},
      {"SELECT * FROM Dates WHERE EventCount = 1 AND DateColor", ErrorKind::kTypeMismatch,
       "column Dates.DateColor (Text) is not a condition (character 46)"},
      {"INSERT INTO Dates (DateKey, DateColor) VALUES ('1/6/2010','White')", ErrorKind::kConstraint,
       "Dates"},
      {"INSERT INTO Dates (DateKey, DateColor) VALUES ('1/7/2010')", ErrorKind::kSyntax,
       "1 values for 2 columns"},
      {"INSERT INTO Dates (DateKey, datekey) VALUES ('1/7/2010', '1/8/2010')", ErrorKind::kSyntax,
       "named twice"},
      {"UPDATE Events SET EventID = 5", ErrorKind::kConstraint, "AutoNumber column Events.EventID"},
      {"UPDATE Dates SET DateKey = #1/1/2009# WHERE DateKey = #1/2/2009#", ErrorKind::kConstraint,
       "Dates"},
      {"INSERT INTO Dates (DateKey, DateColor) VALUES ('1/7/2040', '" + std::string(51, 'x') + "')",
       ErrorKind::kConstraint, "DateColor"},
  };
  const size_t dates = Count("Dates"), events = Count("Events");
  for (const BadCase& c : cases) {
    const Error error = RunBad(c.statement);
    EXPECT_EQ(error.kind, c.kind) << c.statement << "\n" << error.description;
    EXPECT_NE(error.description.find(c.message), std::string::npos)
        << c.statement << "\nwanted: " << c.message << "\ngot:    " << error.description;
  }
  EXPECT_EQ(Count("Dates"), dates);
  EXPECT_EQ(Count("Events"), events);
  EXPECT_EQ(Count("Dates", "DateKey = #1/2/2009#"), 1u);
  EXPECT_EQ(session_->last_identity(), 0);
  EXPECT_TRUE(db_->Check()->empty());
}

TEST_F(SessionTest, ComparisonsWithNullAreNeverTrue) {
  const size_t all = Count("Events");
  const size_t null_notes = Count("Events", "Notes IS NULL");
  ASSERT_GT(null_notes, 0u);
  EXPECT_EQ(Count("Events", "Notes IS NOT NULL") + null_notes, all);
  EXPECT_EQ(Count("Events", "Notes = Null"), 0u);
  EXPECT_EQ(Count("Events", "NOT (Notes = Null)"), 0u);
  // Rows without notes satisfy neither "= 'x'" nor "<> 'x'".
  EXPECT_EQ(Count("Events", "Notes <> 'x'") + Count("Events", "Notes = 'x'"), all - null_notes);
  EXPECT_EQ(Count("Events", "Notes <> 'x' OR Notes IS NULL"), all);
  EXPECT_EQ(Count("Events", "Recurring = True AND AllDayEvent = False") +
                Count("Events", "NOT (Recurring = True AND AllDayEvent = False)"),
            all);
  EXPECT_EQ(Count("Events", "EVENTNAME = 'choir practice'"),
            Count("Events", "[EventName] = 'Choir Practice'"));
}

TEST_F(SessionTest, SelectResultsAreSnapshots) {
  Outcome before = Run("SELECT * FROM Events WHERE EventName = 'Church Council'");
  ASSERT_EQ(before.result.rows.size(), 1u);
  Run("UPDATE Events SET EventName = 'Parish Council' WHERE EventName = 'Church Council'");
  Outcome moved = std::move(before);  // rows keep their bytes when moved
  EXPECT_EQ(moved.result.rows[0].values[1].text(), "Church Council");
  EXPECT_EQ(Count("Events", "EventName = 'Parish Council'"), 1u);
}

TEST_F(SessionTest, NumbersBeyondAColumnsRangeCompareAsNumbers) {
  EXPECT_EQ(Count("Events", "EventID = 2147483648"), 0u);
  EXPECT_EQ(Count("Events", "EventID < 1E10"), Count("Events"));
  EXPECT_EQ(Count("Events", "AllDayEvent = 5"), 0u);
}

// Text and composite keys: equality on the first column seeks, and the
// rows are those a scan finds, whatever the case of the text.
TEST_F(SessionTest, TextAndCompositeIndexesGiveTheRowsOfAScan) {
  Open("tessdata-textindex.mdb");
  const char* conditions[] = {"EventName = 'Choir Practice'", "EventName = 'CHOIR practice'",
                              "EventName = 'Nothing like it'",
                              "EventName = 'Choir Practice' AND Recurring = True"};
  for (const char* condition : conditions) {
    const int64_t seeks = session_->access_counts().index_seeks;
    const size_t sought = Count("Events", condition);
    EXPECT_EQ(session_->access_counts().index_seeks, seeks + 1) << condition;
    EXPECT_EQ(sought, Count("Events", std::string("NOT NOT (") + condition + ")")) << condition;
  }
  EXPECT_EQ(Count("Events", "EventName = 'choir practice'"), 1u);
  const int64_t seeks = session_->access_counts().index_seeks;
  const size_t links = Count("EventDates", "EventId = 17");
  EXPECT_EQ(session_->access_counts().index_seeks, seeks + 1);
  EXPECT_GT(links, 50u);
  EXPECT_EQ(links, Count("EventDates", "EventId >= 17 AND EventId <= 17"));
}

// A value as a literal that converts back to it; empty for kinds whose
// text would not (reals, currency, binary).
std::string LiteralFor(const jet::Value& value) {
  switch (value.kind()) {
    case jet::Value::Kind::kBoolean: return value.boolean() ? "True" : "False";
    case jet::Value::Kind::kByte:
    case jet::Value::Kind::kInteger:
    case jet::Value::Kind::kLong: return std::to_string(value.integer());
    case jet::Value::Kind::kDateTime: return "#" + FormatOleDate(value.real()) + "#";
    case jet::Value::Kind::kText: {
      std::string quoted = "'";
      for (char c : value.text()) quoted += c == '\'' ? "''" : std::string(1, c);
      return quoted + "'";
    }
    default: return "";
  }
}

// Over every index of the shared files, Jet 3 ones included: an equality
// on the index's first column gives the rows a scan gives.
TEST(SessionCorpusTest, SeeksGiveTheRowsOfScansInEveryFile) {
  size_t seeks = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SharedPath("corpus", ""))) {
    if (entry.path().extension() != ".mdb") continue;
    const SharedFileCopy copy("corpus", entry.path().filename().string());
    auto db = jet::Database::Open(copy.path().string());
    if (!db.ok()) continue;  // password-protected or not a database: other tests cover these
    Session session(**db);
    auto names = (*db)->UserTableNames();
    ASSERT_TRUE(names.ok());
    for (const std::string& name : *names) {
      auto table = (*db)->GetTable(name);
      ASSERT_TRUE(table.ok()) << name;
      Outcome all;
      Error error;
      ASSERT_TRUE(session.Execute("SELECT * FROM [" + name + "]", &all, &error))
          << error.description;
      for (const jet::IndexDef& index : table->indexes) {
        if (index.columns.empty()) continue;
        const jet::ColumnDef* column = table->FindColumn(index.columns[0].column_name);
        ASSERT_NE(column, nullptr);
        const size_t column_index = static_cast<size_t>(column - table->columns.data());
        for (size_t r = 0; r < all.result.rows.size() && r < 3; ++r) {
          const std::string literal = LiteralFor(all.result.rows[r].values[column_index]);
          if (literal.empty()) continue;
          const std::string where = "[" + column->name + "] = " + literal;
          const std::string label = entry.path().filename().string() + " " + name + " " + where;
          Outcome sought, scanned;
          const int64_t before = session.access_counts().index_seeks;
          ASSERT_TRUE(
              session.Execute("SELECT * FROM [" + name + "] WHERE " + where, &sought, &error))
              << label << ": " << error.description;
          seeks += static_cast<size_t>(session.access_counts().index_seeks - before);
          ASSERT_TRUE(session.Execute("SELECT * FROM [" + name + "] WHERE NOT NOT (" + where + ")",
                                      &scanned, &error))
              << label << ": " << error.description;
          EXPECT_EQ(sought.result.rows.size(), scanned.result.rows.size()) << label;
          if (all.result.rows[r].values[column_index].kind() != jet::Value::Kind::kDateTime) {
            EXPECT_GE(sought.result.rows.size(), 1u) << label;
          }
        }
      }
    }
  }
  EXPECT_GT(seeks, 100u);
}

// The day's key is found through the DateKey index, and gives the rows a
// scan gives, over 40 years of days.
TEST_F(SessionTest, DateKeyEqualitySeeksThroughTheIndex) {
  Open("tessdata-large.mdb");
  const char* days[] = {"1/1/1970", "2/29/1980", "6/15/1995", "12/31/2009", "1/1/2030"};
  for (const char* day : days) {
    const std::string key = std::string("#") + day + "#";
    const int64_t seeks = session_->access_counts().index_seeks;
    const int64_t scans = session_->access_counts().table_scans;
    const Outcome sought = Run("SELECT * FROM Dates WHERE (((Dates.DateKey)=" + key + "));");
    EXPECT_EQ(session_->access_counts().index_seeks, seeks + 1) << day;
    EXPECT_EQ(session_->access_counts().table_scans, scans) << day;
    const Outcome scanned = Run("SELECT * FROM Dates WHERE NOT (DateKey <> " + key + ")");
    EXPECT_EQ(session_->access_counts().table_scans, scans + 1) << day;
    EXPECT_EQ(sought.result.rows.size(), std::string(day) == "1/1/2030" ? 0u : 1u) << day;
    ASSERT_EQ(sought.result.rows.size(), scanned.result.rows.size()) << day;
    for (size_t i = 0; i < sought.result.rows.size(); ++i) {
      EXPECT_EQ(sought.result.rows[i].values[0].real(), scanned.result.rows[i].values[0].real());
      EXPECT_EQ(sought.result.rows[i].values[4].text(), scanned.result.rows[i].values[4].text());
    }
    // Equality under AND seeks too, and the rest of the condition still holds.
    EXPECT_EQ(Count("Dates", "DateKey = " + key + " AND EventCount < 0"), 0u);
    EXPECT_EQ(session_->access_counts().index_seeks, seeks + 2) << day;
  }
  EXPECT_EQ(Count("EventDates", "(((EventDates.EventDate)=#12/25/2009#))"),
            Count("EventDates", "EventDate >= #12/25/2009# AND EventDate <= #12/25/2009#"));
}

// DELETE on the calendar and on an Access 97 one made from it: rows go with
// their index entries and long values, and a table emptied and filled with
// the same rows again needs no new page.
class DeleteTest : public SessionTest, public ::testing::WithParamInterface<jet::JetVersion> {
 protected:
  void SetUp() override {
    Open();
    if (GetParam() == jet::JetVersion::kJet4) return;
    Reopen([&] {
      const std::filesystem::path jet3 = copy_->dir() / "access97.mdb";
      ASSERT_EQ(tessaly::testing::MakeAccess97Calendar(copy_->path(), jet3), "");
      std::filesystem::rename(jet3, copy_->path());
    });
  }
  // Closes the file, runs `between`, opens it again.
  void Reopen(const std::function<void()>& between = [] {}) {
    session_.reset();
    ASSERT_TRUE(db_->Close().ok());
    between();
    Open(nullptr);
  }
};

TEST_P(DeleteTest, RowsGoWithTheirIndexEntriesAndTheirRoomIsTakenAgain) {
  const Outcome days = Run("SELECT * FROM Dates");
  const size_t links = Count("EventDates", "EventId = 17");
  const size_t year = Count("Dates", "DateKey < #1/1/2010#");
  ASSERT_GT(links, 50u);
  Reopen();
  const auto size_before = std::filesystem::file_size(copy_->path());
  EXPECT_EQ(Run("DELETE FROM EventDates WHERE EventId = 17").rows_affected, int64_t(links));
  EXPECT_EQ(Run("DELETE * FROM Dates WHERE DateKey < #1/1/2010#;").rows_affected, int64_t(year));
  EXPECT_EQ(Run("DELETE Dates.* FROM Dates").rows_affected,
            int64_t(days.result.rows.size() - year));
  EXPECT_EQ(Count("Dates") + Count("EventDates", "EventId = 17"), 0u);
  EXPECT_EQ(RunBad("DELETE Events.* FROM Dates").kind, ErrorKind::kSyntax);
  std::vector<std::string> notes;
  EXPECT_TRUE(db_->Check(&notes)->empty());
  EXPECT_TRUE(notes.empty()) << notes.front();  // no page left that nothing uses
  auto dates = db_->GetTable("Dates");
  for (const jet::Row& day : days.result.rows) ASSERT_TRUE(db_->Insert(*dates, day.values).ok());
  Reopen();
  EXPECT_LE(std::filesystem::file_size(copy_->path()), size_before);
  const tessaly::testing::JetcheckResult check = tessaly::testing::RunJetcheck(copy_->path());
  EXPECT_TRUE(check.java_missing || check.passed()) << check.output << check.error;
}

INSTANTIATE_TEST_SUITE_P(Formats, DeleteTest,
                         ::testing::Values(jet::JetVersion::kJet4, jet::JetVersion::kJet3),
                         [](const auto& info) {
                           return std::string(info.param == jet::JetVersion::kJet4 ? "Access2000"
                                                                                   : "Access97");
                         });

}  // namespace
}  // namespace sql
