// The all-day event import: every name in field 3 of a date record (names
// joined by "^") becomes an all-day event linked to the record's date,
// unless an event already linked to that date is an all-day event of exactly
// that name (characters compared exactly: case counts, nothing trimmed).
// Running it again over the same database therefore inserts nothing.
//
// All database work goes through the event store (event_store.h). Rules
// that follow from its order of work:
//   - a record with no names causes no statement at all;
//   - a day's event ids are read once, before its first name, so a name
//     standing twice in one record is inserted twice;
//   - an empty name (two "^" in a row) ends the record's names;
//   - an event that cannot be read counts as no match (the event store has
//     reported it) and the scan goes on;
//   - a failure to list a day's events or to insert an event ends the import.
// A new event is ('<name with '' for '>','1','0:00 AM','11:59 PM','','','','0').
#pragma once

#include <string>
#include <vector>

namespace database {

// Imports the names of `records` (yeardata/date_records.h). No result: it
// reports its own failures ("frmMain.AddAllDayEvents" line 0 for those of
// its own, such as a record array without elements or a 16-bit counter
// overflowing) and always returns normally.
// REQUIRES: gDatabaseConnection is open.
void AddAllDayEvents(std::vector<std::string>& records);

// `name` with every apostrophe doubled, ready to stand between quotes.
std::string DoubleApostrophes(const std::string& name);

}  // namespace database
