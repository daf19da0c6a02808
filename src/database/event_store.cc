// The event store: see event_store.h. Each operation marks the number of the
// step it is in before it runs it, so that a failure is reported with that
// number.
#include "database/event_store.h"

#include <iterator>
#include <memory>

#include "ado/recordset.h"
#include "database/counters.h"
#include "errors/guard.h"

namespace database {
namespace {

// The connection every operation works on; 91 when none is held.
ado::Connection& Shared() { return ado::Required(gDatabaseConnection); }

// The query pattern: a client-side recordset opened dynamic, lock type and
// options unspecified, on the shared connection.
void OpenQuery(ado::Recordset& recordset, const std::string& sql) {
  recordset.Open(sql, gDatabaseConnection.get(), ado::adOpenDynamic, ado::adLockUnspecified,
                 ado::adCmdUnspecified);
}

// The execute pattern: the statement alone, options unspecified.
void Send(const std::string& sql) { Shared().Execute(sql, ado::adCmdUnspecified); }

}  // namespace

Flag GetEventsByDate(std::string strDate, std::vector<std::string>& event_list) {
  return errors::Guarded("basDatabase.GetEventsByDate", kFalse, [&](errors::Lines& line) {
    line(10);
    line(20);
    event_list.clear();
    line(30);
    Shared().Errors().Clear();
    line(40);
    auto recordset = std::make_unique<ado::Recordset>();
    line(50);
    recordset->SetCursorLocation(ado::adUseClient);
    line(60);
    const std::string sql =
        "SELECT * FROM EventDates WHERE (((EventDates.EventDate)=#" + strDate + "#));";
    line(70);
    OpenQuery(*recordset, sql);
    line(80);
    int16_t count = 0;
    line(90);
    event_list.resize(1);
    line(100);
    event_list[0] = "";
    for (;;) {
      line(110);
      if (recordset->Eof()) break;
      line(120);
      std::string event_id = recordset->Fields()["EventID"].Value().JoinedText();
      line(130);
      if (count > 0) {
        line(140);
        event_list.resize(static_cast<size_t>(count) + 1);
      }
      line(160);
      event_list[static_cast<size_t>(count)] = std::move(event_id);
      line(170);
      count = Increment16(count);
      line(180);
      recordset->MoveNext();
    }
    line(200);
    recordset->Close();
    line(210);
    recordset.reset();
    line(220);
    return kTrue;
  });
}

Flag GetEventData(std::string strEventId, std::vector<std::string>& event_data) {
  return errors::Guarded("basDatabase.GetEventData", kFalse, [&](errors::Lines& line) {
    line(10);
    line(20);
    for (size_t slot = 0; slot < kEventDataSlots; ++slot) event_data.at(slot).clear();
    line(30);
    Shared().Errors().Clear();
    line(40);
    auto recordset = std::make_unique<ado::Recordset>();
    line(50);
    recordset->SetCursorLocation(ado::adUseClient);
    line(60);
    const std::string sql = "SELECT * FROM Events WHERE (((Events.EventID)=" + strEventId + "));";
    line(70);
    OpenQuery(*recordset, sql);
    const ado::FieldList fields = recordset->Fields();
    // Each column is read at its own line, in the order the caller's slots hold them.
    static const struct {
      int line;
      const char* column;
      bool strict;  // a Yes/No column: its text is "True" or "False"
    } kColumns[] = {
        {80, "EventID", false},    {90, "EventName", false}, {100, "AllDayEvent", true},
        {110, "StartTime", false}, {120, "EndTime", false},  {130, "EventColor", false},
        {140, "EventIcon", false}, {150, "Notes", false},    {160, "Recurring", true},
    };
    for (size_t slot = 0; slot < std::size(kColumns); ++slot) {
      line(kColumns[slot].line);
      const ado::Variant value = fields[kColumns[slot].column].Value();
      event_data[slot] = kColumns[slot].strict ? value.StrictText() : value.JoinedText();
    }
    line(170);
    recordset->Close();
    line(180);
    recordset.reset();
    line(190);
    return kTrue;
  });
}

Flag AddEventToDatabase(std::vector<std::string>& event_fields, std::vector<std::string>& dates,
                        std::string& strNewEventId) {
  return errors::Guarded("basDatabase.AddEventToDatabase", kFalse, [&](errors::Lines& line) {
    line(10);
    line(20);
    Shared().Errors().Clear();
    line(30);
    auto identity = std::make_unique<ado::Recordset>();
    line(40);
    line(50);
    identity->SetCursorType(ado::adOpenForwardOnly);
    line(60);
    identity->SetLockType(ado::adLockReadOnly);
    line(70);
    identity->SetSource("SELECT @@IDENTITY");
    line(80);
    line(90);
    for (size_t slot = 0; slot < 8; ++slot) (void)event_fields.at(slot);
    const std::string sql =
        "INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime, EventColor, EventIcon, "
        "Notes, Recurring) VALUES ('" +
        event_fields[0] + "','" + event_fields[1] + "','" + event_fields[2] + "','" +
        event_fields[3] + "','" + event_fields[4] + "','" + event_fields[5] + "','" +
        event_fields[6] + "','" + event_fields[7] + "');";
    line(100);
    Send(sql);
    line(110);
    identity->SetActiveConnection(&Shared());
    line(120);
    identity->Open({}, nullptr, ado::adOpenUnspecified, ado::adLockUnspecified, ado::adCmdText);
    line(130);
    strNewEventId = identity->Fields()[int32_t{0}].Value().StrictText();
    line(140);
    const int16_t last = UpperBound16(dates);
    int16_t i = 0;
    do {
      line(150);
      const std::string date = dates[static_cast<size_t>(i)];
      line(160);
      if (!date.empty()) {
        line(170);
        const Flag linked = AddEventDate(strNewEventId, date);
        line(180);
        if (!linked) {
          line(190);
          return kFalse;  // reported by AddEventDate; the recordset goes with `identity`
        }
      }
      line(230);
    } while (NextPass16(i, last));
    line(240);
    identity->Close();
    line(250);
    identity.reset();
    line(260);
    return kTrue;
  });
}

Flag AddEventDate(std::string strEventId, std::string strDate) {
  return errors::Guarded("basDatabase.AddEventDate", kFalse, [&](errors::Lines& line) {
    line(10);
    line(20);
    const std::string sql = "INSERT INTO EventDates (EventId, EventDate) VALUES ('" + strEventId +
                            "','" + strDate + "');";
    line(30);
    Send(sql);
    line(40);
    const Flag counted = IncrementEventCount(strDate);
    line(50);
    if (counted) {
      line(60);
      return kTrue;
    }
    line(80);
    return kFalse;  // reported by IncrementEventCount
  });
}

Flag IncrementEventCount(std::string strDate) {
  return errors::Guarded("basDatabase.IncrementEventCount", kFalse, [&](errors::Lines& line) {
    line(10);
    line(20);
    Shared().Errors().Clear();
    line(30);
    auto recordset = std::make_unique<ado::Recordset>();
    line(40);
    recordset->SetCursorLocation(ado::adUseClient);
    line(50);
    const std::string query = "SELECT * FROM Dates WHERE (((Dates.DateKey)=#" + strDate + "#));";
    line(60);
    OpenQuery(*recordset, query);
    line(70);
    bool is_new = false;
    int32_t count = 0;
    if (recordset->Eof()) {
      line(80);
      is_new = true;
      line(90);
      count = 1;
    } else {
      line(110);
      is_new = false;
      line(120);
      count = recordset->Fields()["EventCount"].Value().ToInt32();
      line(130);
      if (count == INT32_MAX) throw errors::RuntimeError(errors::kOverflow);
      count += 1;
    }
    line(150);
    recordset->Close();
    std::string sql;
    line(160);
    if (!is_new) {
      line(170);
      sql = "UPDATE Dates SET EventCount = " + std::to_string(count) +
            " WHERE (((Dates.DateKey)=#" + strDate + "#));";
    } else {
      line(190);
      const std::string colour;
      line(200);
      const std::string notes;
      line(210);
      const std::string text;
      line(220);
      sql = "INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) VALUES ('" +
            strDate + "','" + colour + "','" + std::to_string(count) + "','" + notes + "','" +
            text + "');";
    }
    line(240);
    Send(sql);
    line(250);
    recordset.reset();
    line(260);
    return kTrue;
  });
}

}  // namespace database
