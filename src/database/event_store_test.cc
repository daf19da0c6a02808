// The event store and the day merge on a copy of a calendar in use: the
// statements as sent, and each failure path with its one report.
#include "database/event_store.h"

#include <gtest/gtest.h>

#include "ado/recordset.h"
#include "database/all_day_events.h"
#include "database/day_merge.h"
#include "support/fake_reporter_environment.h"
#include "support/shared_copy.h"

namespace database {
namespace {

using Texts = std::vector<std::string>;

class EventStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Flag opened = kFalse;
    OpenDatabase(copy_.path().string(), opened);
    ASSERT_EQ(opened, kTrue);
    ado::SetStatementTrace([this](std::string_view s) { sent_.emplace_back(s); });
  }
  void TearDown() override { ado::SetStatementTrace(nullptr), gDatabaseConnection.reset(); }

  size_t Links() {
    Texts ids;
    EXPECT_EQ(GetEventsByDate("1/1/2010", ids), kTrue);
    return ids[0].empty() ? 0 : ids.size();
  }

  tessaly::testing::SharedFileCopy copy_{"fixtures", "tessdata-2009.mdb"};
  tessaly::testing::TempFolder folder_;
  errors::testing::FakeReporterEnvironment environment_{folder_.path().string()};
  errors::ScopedReporterEnvironment scope_{environment_};
  Texts sent_;
};

TEST_F(EventStoreTest, NewEventIsLinkedToEachDateAndRaisesTheCounters) {
  Texts ids{"stale", "stale"};
  EXPECT_EQ(GetEventsByDate("1/2/2010", ids), kTrue);
  EXPECT_EQ(ids, Texts{""});
  const size_t links = Links();
  Texts fields{"Parish Picnic", "1", "0:00 AM", "11:59 PM", "", "", "", "0"},
      dates{"1/1/2010", "", "6/2/2031"};
  std::string id;
  sent_.clear();
  ASSERT_EQ(AddEventToDatabase(fields, dates, id), kTrue);
  EXPECT_EQ(Links(), links + 1);
  EXPECT_EQ(sent_[0],
            "INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, "
            "EventIcon, Notes, Recurring) VALUES ('Parish Picnic','1','0:00 AM','11:59 "
            "PM','','','','0');");
  EXPECT_EQ(sent_[2],
            "INSERT INTO EventDates (EventId, EventDate) VALUES ('" + id + "','1/1/2010');");
  EXPECT_EQ(sent_[4], "UPDATE Dates SET EventCount = " + std::to_string(links + 1) +
                          " WHERE (((Dates.DateKey)=#1/1/2010#));");
  EXPECT_EQ(sent_[7],
            "INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) "
            "VALUES ('6/2/2031','','1','','');");
  Texts data(kEventDataSlots);
  ASSERT_EQ(GetEventData(id, data), kTrue);
  EXPECT_EQ(data, (Texts{id, "Parish Picnic", "True", "12:00:00 AM", "11:59:00 PM", "", "", "",
                         "False"}));
  EXPECT_TRUE(environment_.Reports().empty());
}

// Each failure is reported once, by the operation it happens in, with its
// step; the callers pass on the false result only.
TEST_F(EventStoreTest, FailuresAreReportedOnceWithTheirStep) {
  Texts data(kEventDataSlots, "x");
  EXPECT_EQ(GetEventData("987654", data), kFalse);
  EXPECT_EQ(data, Texts(kEventDataSlots));
  Texts fields{"St Mary's Day", "1", "0:00 AM", "11:59 PM", "", "", "", "0"}, dates{"1/1/2010"};
  std::string id;
  const size_t links = Links();
  EXPECT_EQ(AddEventToDatabase(fields, dates, id), kFalse);
  gDatabaseConnection->Execute(
      "UPDATE Dates SET EventCount = Null WHERE (((Dates.DateKey)=#1/1/2010#));");
  fields[0] = DoubleApostrophes(fields[0]);
  EXPECT_EQ(AddEventToDatabase(fields, dates, id), kFalse);
  EXPECT_EQ(Links(), links + 1);  // nothing is undone
  Texts short_fields{"Only a name"}, records{"1/3/2010|Teal||", "", "1/4/2010|St John's Red||"};
  EXPECT_EQ(AddEventToDatabase(short_fields, dates, id), kFalse);
  Flag merged = kTrue;
  InitDates(records, merged);
  EXPECT_EQ(merged, kFalse);
  EXPECT_NE(sent_.back().find("'St John's Red'"), std::string::npos);  // sent unrepaired
  Texts none;
  AddAllDayEvents(none);
  EXPECT_EQ(environment_.Reports(),
            (Texts{"basDatabase.GetEventData 80", "basDatabase.AddEventToDatabase 100",
                   "basDatabase.IncrementEventCount 120", "basDatabase.AddEventToDatabase 90",
                   "frmMain.InitDates 0", "frmMain.AddAllDayEvents 0"}));
}

}  // namespace
}  // namespace database
