// The calendar's query and execute patterns on a copy of the 2009 calendar,
// the identity recordset kept open while links are written, and the numbers
// of failed opens, statements and reads.
#include "ado/connection.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ado/connection_string.h"
#include "ado/error_numbers.h"
#include "ado/recordset.h"
#include "errors/runtime_error.h"
#include "jet/testing/fault_file_system.h"
#include "support/fake_reporter_environment.h"
#include "support/shared_copy.h"

namespace ado {
namespace {

namespace fs = std::filesystem;
using tessaly::testing::FileBytes;
using tessaly::testing::SharedFileCopy;
using tessaly::testing::SharedPath;

// The runtime error number `action` raises; 0 when it raises none.
int32_t NumberOf(const std::function<void()>& action, std::string* description = nullptr) {
  try {
    action();
  } catch (const errors::RuntimeError& e) {
    if (description != nullptr) *description = e.description();
    return e.number();
  }
  return 0;
}

// The query pattern: a client cursor, dynamic, lock and options unspecified.
void OpenQuery(Recordset& rs, Connection& db, const std::string& sql) {
  rs.SetCursorLocation(adUseClient);
  rs.Open(sql, &db, adOpenDynamic, adLockUnspecified, adCmdUnspecified);
}

// One field of every row, joined to the empty text.
std::vector<std::string> Column(Connection& db, const std::string& sql, const char* field) {
  Recordset rs;
  OpenQuery(rs, db, sql);
  std::vector<std::string> values;
  for (; !rs.Eof(); rs.MoveNext()) values.push_back(rs.Fields()[field].Value().JoinedText());
  rs.Close();
  return values;
}

std::string DayQuery(const std::string& date) {
  return "SELECT * FROM Dates WHERE (((Dates.DateKey)=#" + date + "#));";
}

std::string LinkQuery(const std::string& date) {
  return "SELECT * FROM EventDates WHERE (((EventDates.EventDate)=#" + date + "#));";
}

class CalendarTest : public ::testing::Test {
 protected:
  void SetUp() override { db_.Open(ComposeConnectionString(copy_.path().string()), "", "", -1); }

  SharedFileCopy copy_{"fixtures", "tessdata-2009.mdb"};
  Connection db_;
};

TEST_F(CalendarTest, DayQueryReadsTheRowThenStopsAtEof) {
  Recordset rs;
  OpenQuery(rs, db_, DayQuery("1/1/2010"));
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Fields()["eventcount"].Value().ToInt32(), 1);
  EXPECT_EQ(rs.Fields()["DateKey"].Value().JoinedText(), "1/1/2010");
  EXPECT_EQ(rs.Fields()["DateColor"].Value().JoinedText(), "");  // Null
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_EQ(NumberOf([&] { (void)rs.Fields()["EventCount"].Value(); }), 3021);
  EXPECT_EQ(NumberOf([&] { rs.MoveNext(); }), 3021);
  rs.Close();
  EXPECT_EQ(NumberOf([&] { (void)rs.Eof(); }), 3704);
  EXPECT_EQ(Column(db_, LinkQuery("1/1/2010"), "EventID"), std::vector<std::string>{"20"});
  EXPECT_EQ(Column(db_, DayQuery("1/2/2010"), "DateKey"), std::vector<std::string>{});
}

TEST_F(CalendarTest, EventFieldsReadAsTheEventStoreReadsThem) {
  struct {
    int event_id;
    std::vector<std::string> slots;  // EventID, EventName, AllDayEvent, ..., Recurring
  } cases[] = {
      {1, {"1", "New Year's Day", "True", "12:00:00 AM", "11:59:00 PM", "", "", "", "False"}},
      {17,
       {"17", "Choir Practice", "False", "7:00:00 PM", "8:30:00 PM", "Blue", "music",
        "Bring folders", "True"}},
      {20,
       {"20", "New Year's Day", "False", "10:00:00 AM", "12:00:00 PM", "Red", "",
        "Brunch in the hall", "False"}},
  };
  const char* names[] = {"EventID",    "EventName", "AllDayEvent", "StartTime", "EndTime",
                         "EventColor", "EventIcon", "Notes",       "Recurring"};
  for (const auto& c : cases) {
    Recordset rs;
    OpenQuery(
        rs, db_,
        "SELECT * FROM Events WHERE (((Events.EventID)=" + std::to_string(c.event_id) + "));");
    std::vector<std::string> slots;
    for (const char* name : names) {
      const Variant value = rs.Fields()[name].Value();
      const bool yes_no = std::string(name) == "AllDayEvent" || std::string(name) == "Recurring";
      slots.push_back(yes_no ? value.StrictText() : value.JoinedText());
    }
    EXPECT_EQ(slots, c.slots) << "event " << c.event_id;
  }
  Recordset missing;
  OpenQuery(missing, db_, "SELECT * FROM Events WHERE (((Events.EventID)=9999));");
  EXPECT_EQ(NumberOf([&] { (void)missing.Fields()["EventID"].Value(); }), 3021);
}

TEST_F(CalendarTest, IdentityRecordsetStaysOpenWhileLinksAreWritten) {
  db_.Errors().Clear();
  Recordset identity;
  identity.SetCursorType(adOpenForwardOnly);
  identity.SetLockType(adLockReadOnly);
  identity.SetSource("SELECT @@IDENTITY");
  db_.Execute(
      "INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, "
      "EventIcon, Notes, Recurring) VALUES ('New Year''s Day','1','0:00 AM','11:59 PM',"
      "'','','','0');",
      -1);
  identity.SetActiveConnection(&db_);
  identity.Open({}, nullptr, adOpenUnspecified, adLockUnspecified, adCmdText);
  const std::string event_id = identity.Fields()[0].Value().StrictText();
  EXPECT_EQ(event_id, "26");

  // AddEventDate and IncrementEventCount, with the identity recordset open.
  db_.Execute("INSERT INTO EventDates (EventId, EventDate) VALUES ('" + event_id +
              "','1/1/2010');");
  Recordset day;
  OpenQuery(day, db_, DayQuery("1/1/2010"));
  const int32_t count = day.Fields()["EventCount"].Value().ToInt32() + 1;
  day.Close();
  db_.Execute("UPDATE Dates SET EventCount = " + std::to_string(count) +
              " WHERE (((Dates.DateKey)=#1/1/2010#));");

  EXPECT_EQ(identity.CursorType(), adOpenForwardOnly);
  EXPECT_EQ(identity.LockType(), adLockReadOnly);
  EXPECT_EQ(identity.CursorLocation(), adUseServer);
  ASSERT_FALSE(identity.Eof());
  EXPECT_EQ(identity.Fields()[0].Value().StrictText(), event_id);
  identity.Close();
  db_.Close();

  // What was written is in the file for the next connection.
  Connection reopened;
  reopened.Open(ComposeConnectionString(copy_.path().string()));
  EXPECT_EQ(Column(reopened, LinkQuery("1/1/2010"), "EventID"),
            (std::vector<std::string>{"20", event_id}));
  EXPECT_EQ(Column(reopened, DayQuery("1/1/2010"), "EventCount"), std::vector<std::string>{"2"});
  EXPECT_EQ(Column(reopened, "SELECT * FROM Events WHERE (((Events.EventID)=" + event_id + "));",
                   "AllDayEvent"),
            std::vector<std::string>{"True"});
}

TEST_F(CalendarTest, FailedStatementsCarryTheProviderNumber) {
  struct {
    const char* sql;
    int32_t number;
    const char* named;  // what the description must name
  } cases[] = {
      {"SELECT * FROM Nowhere;", kProviderNoSuchTable, "Nowhere"},
      {"SELECT * FROM Dates WHERE (((Dates.NoSuch)=1));", kProviderMissingParameter, "NoSuch"},
      {"SELEC * FROM Dates;", kProviderSyntaxError, "SELEC"},
      {"INSERT INTO EventDates (EventId, EventDate) VALUES ('It''s','1/1/2010');",
       kProviderTypeMismatch, "EventDates.EventId"},
      {"INSERT INTO Events (EventName, AllDayEvent) VALUES ('New Year's Day','1');",
       kProviderSyntaxError, ""},
      {"INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) "
       "VALUES ('1/1/2010','','1','','');",
       kProviderGeneralFailure, "Dates"},
  };
  for (const auto& c : cases) {
    std::string description;
    EXPECT_EQ(NumberOf([&] { db_.Execute(c.sql, -1); }, &description), c.number) << c.sql;
    EXPECT_NE(description.find(c.named), std::string::npos) << c.sql << ": " << description;
    ASSERT_EQ(db_.Errors().Count(), 1) << c.sql;
    EXPECT_EQ(db_.Errors().Item(0).number, c.number);
    EXPECT_EQ(db_.Errors().Item(0).description, description);
  }
  db_.Errors().Clear();
  EXPECT_EQ(db_.Errors().Count(), 0);
}

TEST_F(CalendarTest, MisusedObjectsRaiseTheirNumbers) {
  Connection closed;
  Recordset rs;
  struct {
    const char* label;
    std::function<void()> action;
    int32_t number;
  } cases[] = {
      {"execute on a closed connection", [&] { closed.Execute("SELECT * FROM Dates;"); }, 3709},
      {"close a closed connection", [&] { closed.Close(); }, 3704},
      {"no connection held",
       [] {
         std::unique_ptr<Connection> none;
         Required(none).Close();
       },
       91},
      {"open an open connection", [&] { db_.Open(ComposeConnectionString("x.mdb")); }, 3705},
      {"recordset without connection",
       [&] {
         Recordset r;
         r.Open(DayQuery("1/1/2010"));
       },
       3709},
      {"recordset on a closed connection",
       [&] {
         Recordset r;
         r.Open("SELECT @@IDENTITY", &closed);
       },
       3709},
      {"recordset without source",
       [&] {
         Recordset r;
         r.Open({}, &db_);
       },
       kProviderNoCommandText},
      {"table command",
       [&] {
         Recordset r;
         r.Open("Dates", &db_, -1, -1, adCmdTable);
       },
       3001},
      {"eof of a closed recordset", [&] { (void)rs.Eof(); }, 3704},
      {"open twice",
       [&] {
         OpenQuery(rs, db_, DayQuery("1/1/2010"));
         rs.Open();
       },
       3705},
      {"property of an open recordset", [&] { rs.SetCursorType(adOpenStatic); }, 3705},
      {"unknown field", [&] { (void)rs.Fields()["NoSuch"]; }, 3265},
      {"field past the last", [&] { (void)rs.Fields()[5]; }, 3265},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberOf(c.action), c.number) << c.label;
}

// Fails the open of `connection_string` and checks what is left behind.
void ExpectOpenFails(const std::string& connection_string, int32_t number,
                     const std::string& named) {
  Connection db;
  std::string description;
  EXPECT_EQ(NumberOf([&] { db.Open(connection_string); }, &description), number)
      << connection_string;
  EXPECT_NE(description.find(named), std::string::npos) << description;
  EXPECT_EQ(db.State(), adStateClosed);
  ASSERT_EQ(db.Errors().Count(), 1);
  EXPECT_EQ(db.Errors().Item(0).number, number);
}

TEST(OpenTest, EachUnusableFileOrStringSaysWhatFailed) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  SharedFileCopy jet3("corpus", "testV1997.mdb");
  const fs::path dir = copy.dir();
  std::ofstream(dir / "notes.mdb") << "not a database";
  fs::copy_file(copy.path(), dir / "newer.accdb");
  {
    std::fstream patch(dir / "newer.accdb", std::ios::in | std::ios::out | std::ios::binary);
    patch.seekp(0x14);  // the format version: 2 and above are .accdb formats
    patch.put('\x02');
  }
  const std::string good = copy.path().string();
  const char* access = "Driver={Microsoft Access Driver (*.mdb)};";
  const int32_t general = kProviderGeneralFailure;
  ExpectOpenFails("Dbq=" + good, general, "names no Driver");
  ExpectOpenFails("Driver={SQL Server};Dbq=" + good, general, "'SQL Server' is not available");
  ExpectOpenFails(std::string(access) + "Uid=admin", general, "no Dbq");
  ExpectOpenFails(access + ("Dbq=" + (dir / "missing.mdb").string()), general,
                  "Could not find file '" + (dir / "missing.mdb").string() + "'");
  ExpectOpenFails(access + ("Dbq=" + dir.string()), general, "is a folder");
  ExpectOpenFails(access + ("Dbq=" + (dir / "notes.mdb").string()), general,
                  "Unrecognized database format");
  ExpectOpenFails(access + ("Dbq=" + (dir / "newer.accdb").string()), general,
                  "cannot be opened for updating");
  ExpectOpenFails(access + ("Dbq=" + good + ";Uid=bob"), kProviderAuthenticationFailed, "'bob'");
  Connection holder;
  holder.Open(ComposeConnectionString(good));
  ExpectOpenFails(ComposeConnectionString(good), general, "already in use");
  Connection access97;  // an Access 97 file is no failure
  EXPECT_EQ(NumberOf([&] { access97.Open(ComposeConnectionString(jet3.path().string())); }), 0);
}

TEST(OpenTest, PathWithSemicolonOpensTheIntendedFile) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  const fs::path folder = copy.dir() / "Parish; North";
  fs::create_directory(folder);
  const fs::path file = folder / "tessdata.mdb";
  fs::copy_file(copy.path(), file);
  // Joined without braces, the path is cut at the ";" and nothing opens.
  const std::string unbraced =
      "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + file.string() + ";Uid=admin;Pwd=";
  Connection naive;
  EXPECT_EQ(NumberOf([&] { naive.Open(unbraced); }), kProviderGeneralFailure);

  Connection db;
  db.Open(ComposeConnectionString(file.string()));
  db.Execute("UPDATE Dates SET EventCount = 7 WHERE (((Dates.DateKey)=#1/1/2010#));");
  db.Close();
  Connection original;  // the copy outside the folder is untouched
  original.Open(ComposeConnectionString(copy.path().string()));
  EXPECT_EQ(Column(original, DayQuery("1/1/2010"), "EventCount"), std::vector<std::string>{"1"});
  original.Close();
  db.Open(ComposeConnectionString(file.string()));
  EXPECT_EQ(Column(db, DayQuery("1/1/2010"), "EventCount"), std::vector<std::string>{"7"});
}

// A connection left open, as a failed run leaves it, writes its statements
// when it is released; a failure to write them is reported once and logged.
TEST(ReleaseTest, AnOpenConnectionWritesItsStatementsWhenReleasedAndReportsAFailure) {
  SharedFileCopy copy("fixtures", "tessdata-2009.mdb");
  tessaly::testing::TempFolder folder;
  errors::testing::FakeReporterEnvironment environment(folder.path().string());
  errors::ScopedReporterEnvironment scope(environment);
  jet::testing::FaultFileSystem files;
  SetFileSystem(&files);
  auto db = std::make_unique<Connection>();
  db->Open(ComposeConnectionString(copy.path().string()));
  db->Execute("UPDATE Dates SET EventCount = 7 WHERE (((Dates.DateKey)=#1/1/2010#));");
  db.reset();
  EXPECT_TRUE(environment.boxes.empty());

  db = std::make_unique<Connection>();
  db->Open(ComposeConnectionString(copy.path().string()));
  EXPECT_EQ(Column(*db, DayQuery("1/1/2010"), "EventCount"), std::vector<std::string>{"7"});
  db->Execute("UPDATE Dates SET EventCount = 8 WHERE (((Dates.DateKey)=#1/1/2010#));");
  // The disk fills up: every write, truncate and sync is refused.
  files.SetHook([](const jet::testing::FileOperation& operation) {
    if (operation.op == jet::testing::FileOp::kRemove) return jet::Status::OK();
    return jet::Status::IoError("cannot write: No space left on device");
  });
  db.reset();
  files.SetHook(nullptr);
  SetFileSystem(nullptr);
  ASSERT_EQ(environment.boxes.size(), 1u);
  const std::string& text = environment.boxes[0].text;
  EXPECT_NE(text.find(std::string("Module: \t\t") + kReleaseModule + "\r\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("could not be written when its connection was released: "), std::string::npos)
      << text;
  EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
  EXPECT_NE(FileBytes(errors::testing::ErrorLog(folder))
                .find(std::string("In module: ") + kReleaseModule),
            std::string::npos);

  // The file is whole: the statements of the first connection, not those
  // whose writing failed.
  Connection again;
  again.Open(ComposeConnectionString(copy.path().string()));
  EXPECT_EQ(Column(again, DayQuery("1/1/2010"), "EventCount"), std::vector<std::string>{"7"});
}

}  // namespace
}  // namespace ado
