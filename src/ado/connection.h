// The connection the calendar program's database code talks to, shaped like
// the data-access objects it was written against: a Connection opened by an
// ODBC connection string on an Access file, statements executed on it, and
// Recordsets (recordset.h) opened on it. Behind it stand the SQL layer
// (sql::Session) and the file engine (jet::Database).
//
//   closed --Open ok--> open --Close--> closed
//     |  Open fails: stays closed, the failure is thrown
//
// Invariants:
//   (A1) Every failure is thrown as errors::RuntimeError(number,
//        description); the numbers are those of error_numbers.h. Provider
//        failures are also appended to Errors() first.
//   (A2) An open connection holds the file open for reading and writing,
//        locked against other programs, until Close or destruction.
//   (A3) A statement has taken effect when Execute returns; there is no
//        transaction to commit. A failed statement leaves nothing behind, and
//        the statements before it stay.
//   (A5) On disk, everything an open connection does is one unit of the
//        engine, made durable when the connection is closed or destroyed
//        (each statement is a savepoint inside it). So a program that is
//        killed or loses power part way leaves the file as it was before the
//        connection opened, never with half of a run's related statements
//        (an event without its date link, a link without its day's count),
//        and running it again gives exactly the result of an uninterrupted
//        run. It also writes each changed page once instead of per statement.
//   (A4) Recordsets are snapshots taken at their Open, so any number of them
//        may stay open while other statements run on the same connection.
//   (A6) A connection destroyed while open (the one a failed run leaves
//        behind, released by the next run's open or at the program's end)
//        writes its unit out as Close does: the statements that took effect
//        stay written, those after a failure were never run. A failure to
//        write it is reported once through errors::HandleError as module
//        kReleaseModule (the message box or standard error, and error.log),
//        since no caller is left to catch it.
//   (A7) A failure to write at Close or release says which of two things
//        happened: nothing of the unit was written (the file is as it was
//        before the connection opened), or the unit was saved in the
//        engine's log beside the file but not yet written into it, which
//        the next open of the file by this program does (Saved()).
//
// Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "errors/runtime_error.h"
#include "jet/database.h"
#include "sql/session.h"

namespace ado {

// Option and state values, with the names and numbers the program uses.
inline constexpr int32_t adConnectUnspecified = -1;
inline constexpr int32_t adAsyncConnect = 16;
inline constexpr int32_t adCmdUnspecified = -1;
inline constexpr int32_t adCmdText = 1;
inline constexpr int32_t adCmdTable = 2;
inline constexpr int32_t adCmdStoredProc = 4;
inline constexpr int32_t adCmdUnknown = 8;
inline constexpr int32_t adExecuteNoRecords = 128;
inline constexpr int32_t adStateClosed = 0;
inline constexpr int32_t adStateOpen = 1;

// The module a failure to write the file at a connection's release is
// reported under (A6).
inline constexpr const char* kReleaseModule = "ADODB.Connection";

// One provider failure.
struct Error {
  int32_t number = 0;
  std::string description;
  std::string source;  // which part failed: "Access file engine" or "Access SQL"
};

// The provider failures of the last failing call on a connection.
class ErrorList {
 public:
  int32_t Count() const { return static_cast<int32_t>(errors_.size()); }
  // REQUIRES: 0 <= index < Count(); otherwise 3265 is thrown.
  const Error& Item(int32_t index) const;
  void Clear() { errors_.clear(); }

  void Append(Error error) { errors_.push_back(std::move(error)); }

 private:
  std::vector<Error> errors_;
};

class Connection {
 public:
  Connection();  // closed
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the Access file that `connection_string` names (connection_
  // string.h). Required attributes: Driver (the Microsoft Access Driver)
  // and Dbq (the file); Uid, if given, must be "admin"; Pwd is the database
  // password; a relative Dbq is taken from DefaultDir when that is given.
  // Non-empty `user_id` and `password` take the place of Uid and Pwd.
  // `options`: adConnectUnspecified (or 0); adAsyncConnect is refused (3001).
  // Failures (A1): 3705 when already open; -2147467259 for an unknown
  // driver, a missing Dbq, a file that is missing, not an Access file, of a
  // format this engine cannot update (.accdb, Access 97), damaged, or in use
  // by another program; -2147217843 for a wrong password or user.
  void Open(std::string_view connection_string, std::string_view user_id = {},
            std::string_view password = {}, int32_t options = adConnectUnspecified);

  // Runs one statement; any rows it returns are dropped at once. `options`:
  // adCmdUnspecified, adCmdText or adCmdUnknown, optionally with
  // adExecuteNoRecords; others are refused (3001).
  // REQUIRES: open (3709 otherwise).
  void Execute(std::string_view command_text, int32_t options = adCmdUnspecified);

  ErrorList& Errors() { return errors_; }

  // Writes everything out and releases the file. 3704 when not open; a
  // failure to write the file is thrown after the connection has closed.
  void Close();

  int32_t State() const { return session_ ? adStateOpen : adStateClosed; }
  // Whether the last Close failed after saving the unit in the log beside
  // the file, so that the next open by this program writes it in (A7).
  bool Saved() const { return saved_; }
  // As given to the last Open.
  const std::string& ConnectionString() const { return connection_string_; }

 private:
  friend class Recordset;

  // Commits the connection's unit, closes the file and ends the session;
  // what failed, if anything. REQUIRES: open.
  jet::Status Finish();

  // Runs a statement for Execute and Recordset::Open: a failure goes to
  // Errors() and is thrown with its provider number (A1).
  // REQUIRES: open.
  sql::Outcome Run(std::string_view statement);

  std::unique_ptr<jet::Database> db_;
  std::unique_ptr<sql::Session> session_;  // set exactly while open
  ErrorList errors_;
  std::string connection_string_;
  std::string path_;  // the open file, for messages
  bool saved_ = false;
};

// Statement trace: when set, `trace` is called with the text of every
// statement just before it is run, by Execute and by Recordset::Open alike
// (the batch command's --trace). Process-wide, like the pending failure;
// an empty function turns it off.
void SetStatementTrace(std::function<void(std::string_view statement)> trace);

// The files every connection opens its database on from now on (null, at
// start: the operating system's). Process-wide, like the statement trace:
// tests give one that fails an operation or ends the process at it. It must
// outlive the connections opened on it.
void SetFileSystem(jet::FileSystem* files);

// The object an owning reference holds, as the program reaches its global
// connection: 91 "Object variable or With block variable not set" when the
// reference is empty.
template <typename Object>
Object& Required(const std::unique_ptr<Object>& object) {
  if (!object) throw errors::RuntimeError(errors::kObjectNotSet);
  return *object;
}

}  // namespace ado
