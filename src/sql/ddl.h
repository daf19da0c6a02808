// Access DDL over the file engine: CREATE TABLE and CREATE INDEX, turned
// into the engine's TableDesign / IndexDesign (jet/database.h) and run on a
// Database.
//
//   CREATE TABLE t (col TYPE [(n [, s])] [NOT NULL] [PRIMARY KEY | UNIQUE], ...
//                   [, CONSTRAINT name PRIMARY KEY (c1, c2, ...)])
//   CREATE [UNIQUE] INDEX name ON t (c [ASC|DESC], ...)
//                   [WITH PRIMARY | WITH IGNORE NULL]
//
// Type names as Access's SQL reads them:
//   COUNTER, AUTOINCREMENT            Long, autonumber
//   LONG, INTEGER, INT, INTEGER4      Long (4 bytes: Access's INTEGER is Long)
//   SHORT, SMALLINT, INTEGER2         Integer (2 bytes)
//   BYTE, TINYINT                     Byte
//   CURRENCY, MONEY                   Currency
//   SINGLE, REAL, FLOAT4              Single
//   DOUBLE, FLOAT, FLOAT8, NUMBER     Double
//   DATETIME, DATE, TIME              Date/Time
//   TEXT [(n)], VARCHAR, CHAR         Text, n characters (255 when left out)
//   MEMO, LONGTEXT, LONGCHAR          Memo
//   YESNO, BIT, LOGICAL               Yes/No
//   GUID, UNIQUEIDENTIFIER            GUID
//   DECIMAL [(p [, s])], NUMERIC      Decimal (18, 0 when left out)
//   BINARY [(n)], VARBINARY           Binary, n bytes (255 when left out)
//   LONGBINARY, OLEOBJECT, IMAGE      OLE object
// A column-level PRIMARY KEY makes an index named PrimaryKey; UNIQUE one
// named after the column.
//
// Invariants:
//   (D1) A text that is not one of these statements is a kSyntax error
//        naming the statement, the character position and what was found,
//        before anything is written.
//   (D2) Each statement is one unit of the engine; a script runs in one
//        unit, so it takes effect whole or not at all.
#pragma once

#include <string>
#include <string_view>

#include "jet/database.h"
#include "sql/error.h"

namespace sql {

struct DdlStatement {
  enum class Kind { kCreateTable, kCreateIndex };
  Kind kind = Kind::kCreateTable;
  jet::TableDesign table;   // kCreateTable
  std::string index_table;  // kCreateIndex: the table the index is on
  jet::IndexDesign index;   // kCreateIndex
};

// Whether the statement starts with CREATE (after blanks).
bool IsDdl(std::string_view statement);

bool ParseDdl(std::string_view statement, DdlStatement* out, Error* error);

// Parses and runs one statement.
bool RunDdl(jet::Database& db, std::string_view statement, Error* error);

// Runs the statements of `script` (separated by ";" outside quotes and
// brackets) in one unit: all of them, or on the first failure none
// (*failed is then its 1-based number). (D2)
bool RunDdlScript(jet::Database& db, std::string_view script, Error* error, size_t* failed);

}  // namespace sql
