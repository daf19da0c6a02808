// The day merge: writes each 2010 day's colour and explanatory text into the
// table Dates, updating the day's rows when it has any and inserting one
// otherwise. Per day one query and one write:
//   SELECT * FROM Dates WHERE (((Dates.DateKey)=#<date>#));
//   UPDATE Dates SET DateColor = '<colour>', DateText = '<text>'
//     WHERE (((Dates.DateKey)=#<date>#));
//   INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText)
//     VALUES ('<date>','<colour>','0','','<text>');
// (each on one line, as sent). An update leaves EventCount and DateNotes as
// they were and sets DateText even to the empty text.
#pragma once

#include <string>
#include <vector>

#include "database/connection.h"

namespace database {

// Merges every record of `records` (yeardata/date_records.h: fields 1 date,
// 2 colour, 4 text), visiting slots 0 to the upper bound with a 16-bit
// counter; a record with an empty date is skipped without a statement.
// `success` is kTrue when all are merged; after a failure, reported once as
// "frmMain.InitDates" line 0, it is kFalse, the days before the failing one
// stay written and the later ones untouched. A malformed record is not
// repaired: its statement fails, and with it the merge.
// REQUIRES: gDatabaseConnection is open.
void InitDates(std::vector<std::string>& records, Flag& success);

}  // namespace database
