// The event store and the day merge on a copy of a calendar in use: the
// statements as sent, what each operation hands back, and each failure path
// with its one report (module and line).
#include "database/event_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ado/recordset.h"
#include "database/all_day_events.h"
#include "database/day_merge.h"
#include "errors/fake_reporter_environment.h"
#include "support/shared_copy.h"

namespace database {
namespace {

using errors::testing::FakeReporterEnvironment;
using errors::testing::TempFolder;

class EventStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Flag opened = kFalse;
    OpenDatabase(copy_.path().string(), opened);
    ASSERT_EQ(opened, kTrue);
    ado::SetStatementTrace([this](std::string_view s) { sent_.emplace_back(s); });
  }
  void TearDown() override {
    ado::SetStatementTrace(nullptr);
    gDatabaseConnection.reset();
  }

  // "module line" of each report so far.
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

  int64_t Count(const std::string& sql) {
    ado::SetStatementTrace(nullptr);
    ado::Recordset rs;
    rs.Open(sql, gDatabaseConnection.get());
    int64_t n = 0;
    for (; !rs.Eof(); rs.MoveNext()) ++n;
    ado::SetStatementTrace([this](std::string_view s) { sent_.emplace_back(s); });
    return n;
  }

  tessaly::testing::SharedFileCopy copy_{"fixtures", "tessdata-2009.mdb"};
  TempFolder folder_;
  FakeReporterEnvironment environment_{folder_.path().string()};
  errors::ScopedReporterEnvironment scope_{environment_};
  std::vector<std::string> sent_;
};

TEST_F(EventStoreTest, EventListHasOneSlotPerLinkAndOneEmptySlotForNone) {
  std::vector<std::string> ids{"stale", "stale"};
  EXPECT_EQ(GetEventsByDate("1/2/2010", ids), kTrue);
  EXPECT_EQ(ids, std::vector<std::string>{""});
  EXPECT_EQ(GetEventsByDate("1/1/2010", ids), kTrue);
  EXPECT_EQ(ids.size(), static_cast<size_t>(Count(
      "SELECT * FROM EventDates WHERE (((EventDates.EventDate)=#1/1/2010#));")));
  std::vector<std::string> data(kEventDataSlots);
  ASSERT_EQ(GetEventData(ids[0], data), kTrue);
  EXPECT_EQ(data[0], ids[0]);
  EXPECT_TRUE(data[8] == "True" || data[8] == "False");
  EXPECT_EQ(sent_.front(), "SELECT * FROM EventDates WHERE (((EventDates.EventDate)=#1/2/2010#));");
  EXPECT_EQ(sent_.back(), "SELECT * FROM Events WHERE (((Events.EventID)=" + ids[0] + "));");
  EXPECT_TRUE(Reports().empty());
}

TEST_F(EventStoreTest, NewEventIsLinkedToEachDateAndRaisesTheCounters) {
  const int64_t links_before = Count("SELECT * FROM EventDates;");
  std::vector<std::string> fields{"Parish Picnic", "1", "0:00 AM", "11:59 PM", "", "", "", "0"};
  std::vector<std::string> dates{"1/1/2010", "", "6/2/2031"};
  std::string id = "old";
  ASSERT_EQ(AddEventToDatabase(fields, dates, id), kTrue);
  EXPECT_EQ(Count("SELECT * FROM EventDates;"), links_before + 2);
  EXPECT_EQ(sent_[0], "INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, "
                      "EventIcon, Notes, Recurring) VALUES ('Parish Picnic','1','0:00 AM',"
                      "'11:59 PM','','','','0');");
  EXPECT_EQ(sent_[1], "SELECT @@IDENTITY");
  EXPECT_EQ(sent_[2], "INSERT INTO EventDates (EventId, EventDate) VALUES ('" + id + "','1/1/2010');");
  EXPECT_EQ(sent_[4].substr(0, 30), "UPDATE Dates SET EventCount = ");
  // A day without a row gets one, with the count 1.
  EXPECT_EQ(sent_.back(), "INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) "
                          "VALUES ('6/2/2031','','1','','');");
  // A date list whose only entry is empty links nothing.
  std::vector<std::string> none{""};
  EXPECT_EQ(AddEventToDatabase(fields, none, id), kTrue);
  EXPECT_EQ(Count("SELECT * FROM EventDates;"), links_before + 2);
  EXPECT_TRUE(Reports().empty());
}

// Each failure is reported once, by the operation it happens in, with the
// step's number; the callers only pass the false result on.
TEST_F(EventStoreTest, FailuresAreReportedOnceWithTheirStep) {
  std::vector<std::string> data(kEventDataSlots, "x");
  EXPECT_EQ(GetEventData("987654", data), kFalse);
  EXPECT_EQ(data, std::vector<std::string>(kEventDataSlots));

  const int64_t events_before = Count("SELECT * FROM Events;");
  std::vector<std::string> fields{"St Mary's Day", "1", "0:00 AM", "11:59 PM", "", "", "", "0"};
  std::vector<std::string> dates{"1/1/2010"};
  std::string id;
  EXPECT_EQ(AddEventToDatabase(fields, dates, id), kFalse);
  EXPECT_EQ(Count("SELECT * FROM Events;"), events_before);

  gDatabaseConnection->Execute(
      "UPDATE Dates SET EventCount = Null WHERE (((Dates.DateKey)=#1/1/2010#));");
  fields[0] = DoubleApostrophes(fields[0]);
  dates[0] = "1/1/2010";
  EXPECT_EQ(AddEventToDatabase(fields, dates, id), kFalse);
  EXPECT_FALSE(id.empty());  // the event was written before the link failed

  std::vector<std::string> short_fields{"Only a name"};
  EXPECT_EQ(AddEventToDatabase(short_fields, dates, id), kFalse);

  EXPECT_EQ(Reports(), (std::vector<std::string>{
                           "basDatabase.GetEventData 80",
                           "basDatabase.AddEventToDatabase 100",
                           "basDatabase.IncrementEventCount 120",
                           "basDatabase.AddEventToDatabase 90",
                       }));
}

TEST_F(EventStoreTest, DayMergeStopsAtAMalformedRecordAndKeepsTheDaysBefore) {
  std::vector<std::string> records{"1/1/2010|Teal||", "", "1/2/2010|St John's Red||",
                                   "1/3/2010|Teal||"};
  Flag merged = kTrue;
  InitDates(records, merged);
  EXPECT_EQ(merged, kFalse);
  EXPECT_EQ(Reports(), std::vector<std::string>{"frmMain.InitDates 0"});
  EXPECT_EQ(Count("SELECT * FROM Dates WHERE DateColor = 'Teal';"), 1);
  EXPECT_EQ(sent_[1], "UPDATE Dates SET DateColor = 'Teal', DateText = '' WHERE "
                      "(((Dates.DateKey)=#1/1/2010#));");
  EXPECT_EQ(sent_.size(), 4u);  // the empty record sends nothing; the failing write is the last

  std::vector<std::string> empty;
  InitDates(empty, merged);
  AddAllDayEvents(empty);
  EXPECT_EQ(Reports().back(), "frmMain.AddAllDayEvents 0");
  EXPECT_EQ(Reports()[1], "frmMain.InitDates 0");
}

}  // namespace
}  // namespace database
