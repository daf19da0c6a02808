// The event store: lists the events linked to a day, reads one event, inserts
// an event with its links to days, links an event to a day, and keeps the
// day's EventCount in step with its links. Every operation numbers its steps
// 10, 20, 30 ...; a failure is reported once, under the operation's
// qualified name ("basDatabase.GetEventData") and the number of the step it
// failed in, and the operation returns kFalse. Callers of a failed operation
// report nothing more (D4).
//
// Arrays of text travel as std::vector<std::string> indexed from 0:
//   event fields  slots 0..7 read: EventName (apostrophes doubled),
//                 AllDayEvent ("1"/"0"), StartTime, EndTime, EventColor,
//                 EventIcon, Notes, Recurring
//   event data    exactly 9 slots: EventID, then the columns above each one
//                 place further on; the Yes/No columns as "True"/"False"
//   event list    the EventIDs linked to a day, one slot per link in the
//                 order the database returns them; no link: one empty slot
//   date list     month-first date texts ("1/6/2010"); empty entries skipped
//
// Statement texts (the values joined in unchanged, see connection.h (D2)):
//   SELECT * FROM EventDates WHERE (((EventDates.EventDate)=#<date>#));
//   SELECT * FROM Events WHERE (((Events.EventID)=<id>));
//   INSERT INTO Events (EventName, AllDayEvent, StartTime, EndTime,
//     EventColor, EventIcon, Notes, Recurring) VALUES ('<0>','<1>',...,'<7>');
//   SELECT @@IDENTITY
//   INSERT INTO EventDates (EventId, EventDate) VALUES ('<id>','<date>');
//   SELECT * FROM Dates WHERE (((Dates.DateKey)=#<date>#));
//   UPDATE Dates SET EventCount = <n> WHERE (((Dates.DateKey)=#<date>#));
//   INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText)
//     VALUES ('<date>','','<n>','','');
// (each insert and select on one line, as sent).
//
// REQUIRES: gDatabaseConnection is open (otherwise the first use fails and is
// reported like any other failure).
#pragma once

#include <string>
#include <vector>

#include "database/connection.h"

namespace database {

inline constexpr size_t kEventDataSlots = 9;

// Replaces `event_list` with the EventIDs of the links of `strDate`. A day
// with more than 32,767 links overflows at line 170.
Flag GetEventsByDate(std::string strDate, std::vector<std::string>& event_list);

// Fills the 9 slots of `event_data` with the event `strEventId`; no such
// event fails at line 80 (no current row). Slots filled before a failure keep
// their values, the rest are empty.
Flag GetEventData(std::string strEventId, std::vector<std::string>& event_data);

// Inserts the event, reads its new EventID into `strNewEventId` (set as soon
// as the identity query answers), and links it to every non-empty date of
// `dates` through AddEventDate. Nothing is undone after a failure.
Flag AddEventToDatabase(std::vector<std::string>& event_fields, std::vector<std::string>& dates,
                        std::string& strNewEventId);

// Links the event to the day, then raises the day's EventCount.
Flag AddEventDate(std::string strEventId, std::string strDate);

// Raises the EventCount of the day's row by one, or inserts a row for the
// day with the count 1 and empty colour, notes and text. An empty EventCount
// fails at line 120.
Flag IncrementEventCount(std::string strDate);

}  // namespace database
