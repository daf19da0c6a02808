// The calendar database layer: the one shared connection to the user's
// calendar file, and how it is opened and closed. The day merge
// (day_merge.h), the event store (event_store.h) and the all-day event
// import (all_day_events.h) send every statement over it.
//
//   none --OpenDatabase--> open --CloseDatabaseConnection--> none
//          |  open fails: created but not open (the object stays held)
//
// Invariants:
//   (D1) gDatabaseConnection is replaced only by OpenDatabase, which stores
//        the new connection before it opens it; storing releases (and so
//        closes) the one held before, so an earlier run's connection never
//        keeps the file locked against a later run. Releasing an open
//        connection writes what its statements did and reports a failure to
//        (ado/connection.h, A6); the programs release the last one before
//        they end.
//   (D2) Statements are composed by concatenation; no layer of ours escapes,
//        quotes or trims a value. A text value arrives with every apostrophe
//        already doubled.
//   (D3) No transaction is opened: each statement takes effect when it is
//        sent, and rows written before a failure stay written.
//   (D4) Every failure is reported once, by the procedure that catches it,
//        under its qualified name ("frmMain.OpenDatabase"); callers see only
//        the false flag.
//
// Single-threaded: everything runs on the thread that runs the update.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ado/connection.h"

namespace database {

// A success flag as the calendar code keeps it: 16 bits, true with all bits
// set.
using Flag = int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;

// The shared connection: empty at start and after CloseDatabaseConnection.
extern std::unique_ptr<ado::Connection> gDatabaseConnection;

// Stores a new connection in gDatabaseConnection (D1) and opens it on
// `strDatabaseFile` with the connection string of ado::ComposeConnectionString,
// an empty user and password. `success` is kTrue when it is open; otherwise
// the failure has been reported as "frmMain.OpenDatabase", line 0, and
// `success` is kFalse.
void OpenDatabase(std::string strDatabaseFile, Flag& success);

// Closes gDatabaseConnection and empties it. No handler of its own: a failed
// Close, or no connection held (91), is thrown to the caller's handler, and
// the reference then stays as it was.
void CloseDatabaseConnection();

}  // namespace database
