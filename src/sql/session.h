// Access SQL over the file engine: one Session per connection runs statement
// texts against a jet::Database. The statements are those of the calendar
// update and the ones `jetdb sql` offers:
//   SELECT * FROM t [WHERE expr]
//   SELECT @@IDENTITY
//   INSERT INTO t (c, ...) VALUES (v, ...)
//   UPDATE t SET c = v [, ...] [WHERE expr]
//   DELETE [* | t.*] FROM t [WHERE expr]
//   CREATE TABLE ..., CREATE [UNIQUE] INDEX ... (ddl.h)
// with Access's literals (# dates #, 'text' with '' for a quote, numbers,
// True, False, Null), bare, bracketed and table-qualified column names
// matched without regard to case, = <> < > <= >=, AND OR NOT, IS [NOT] NULL,
// nested parentheses, and an optional trailing ";".
//
// Rules kept by every statement:
//   (Q1) Each INSERT, UPDATE or DELETE is one atomic unit of the engine,
//        with everything its table's relationships cascade to: it takes
//        effect whole when Execute returns OK, or not at all.
//   (Q2) A quoted value is converted to its column's type as Access does
//        (a date text to that day, '0:00 AM' and '11:59 PM' to times,
//        decimal texts to numbers, '1'/'0'/'-1'/'True'/'False'/'Yes'/'No' to
//        Yes/No); one that cannot be is a type-mismatch error, never a
//        silent Null or zero.
//   (Q3) A WHERE that compares the first column of an index for equality
//        with a value (alone or under AND) reads through that index, when
//        the engine builds its keys; other statements scan. Either way the
//        whole WHERE decides which rows match, so both give the same rows.
//   (Q4) A SELECT's result is a snapshot taken when it runs: later
//        statements on the session do not change rows already returned.
//
// Not thread-safe. The Database must outlive the Session.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "jet/status.h"
#include "sql/error.h"

namespace sql {

struct Statement;  // parser.h

// A result column and the rows of a SELECT, owning their bytes.
struct ResultSet {
  std::vector<jet::ColumnDef> columns;  // names and types, in result order
  std::vector<jet::Row> rows;           // values in column order; each Row owns its storage
  // Text values point into their Row's storage, which is kept on the heap:
  // moving a Row (or the ResultSet) keeps them valid, copying a Row does not.
};

struct Outcome {
  bool has_rows = false;      // a SELECT
  ResultSet result;           // its rows
  int64_t rows_affected = 0;  // INSERT / UPDATE / DELETE (rows of its own table)
};

class Session {
 public:
  explicit Session(jet::Database& db);

  // Runs one statement. On failure returns false and fills *error; the
  // database is as it was before the statement (Q1). SELECT * gives every
  // column in table order; SELECT @@IDENTITY one row with one Long column
  // named Expr1000 holding last_identity(). Which ErrorKind each failure
  // gets: names and values are checked before anything is read or written
  // (kNoSuchTable, kNoSuchColumn, kTypeMismatch also for a number out of
  // its column's range); the engine's refusals follow (kConstraint for a
  // duplicate key, a missing required value or a text too long).
  bool Execute(std::string_view statement, Outcome* outcome, Error* error);

  // The autonumber the last INSERT on this session generated; 0 before any.
  // An INSERT into a table without an autonumber column leaves it as it was.
  int64_t last_identity() const { return last_identity_; }

  // How the statements so far found their rows (Q3): through an index seek
  // or by scanning the table. For tests and diagnostics.
  struct AccessCounts {
    int64_t index_seeks = 0;
    int64_t table_scans = 0;
  };
  const AccessCounts& access_counts() const { return access_counts_; }

 private:
  bool RunSelect(const Statement& statement, Outcome* outcome, Error* error);
  bool RunInsert(const Statement& statement, Outcome* outcome, Error* error);
  bool RunUpdate(const Statement& statement, Outcome* outcome, Error* error);
  bool RunDelete(const Statement& statement, Outcome* outcome, Error* error);

  jet::Database& db_;
  int64_t last_identity_ = 0;
  AccessCounts access_counts_;
};

}  // namespace sql
