// Literals of a statement as values of a column's type, the way Access
// converts them on INSERT, UPDATE and in comparisons:
//
//   COLUMN TYPE                   ACCEPTS
//   Text, Memo                    text as is; a number as written; a date as
//                                 m/d/yyyy [h:mm:ss AM|PM]; True -1, False 0
//   Byte, Integer, Long           a number or a decimal text, rounded half to
//                                 even to a whole number, in the type's range
//   Currency                      the same, rounded to four decimal places
//   Single, Double                a number or a decimal text, finite, in range
//   Date/Time                     a # literal or a date/time text: m/d/yyyy,
//                                 m/d/yy, yyyy-mm-dd, each with an optional
//                                 time h:mm[:ss] [AM|PM], or a time alone
//                                 (day 0, 12/30/1899); a number as a day count
//   Yes/No                        True, False, -1, 0, 1 and the texts '1',
//                                 '0', '-1', 'True', 'False', 'Yes', 'No'
//                                 (any case)
//   Null                          Null for every type
// Texts are trimmed of blanks before they are read as numbers, dates or
// Yes/No. Anything else is a "Data type mismatch" naming table, column, its
// type and the value; a number outside the column's range is an overflow
// error. Binary, OLE, Replication ID and Numeric columns take only Null.
//
// Two-digit years follow Access: 00-29 are 2000-2029, 30-99 are 1930-1999.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "jet/database.h"
#include "jet/expression.h"
#include "sql/parser.h"

namespace sql {

enum class ConvertFailure { kNone, kMismatch, kOverflow, kNotSupported };

struct Converted {
  jet::Value value;
  ConvertFailure failure = ConvertFailure::kNone;
  std::string description;  // when failed: the whole message
};

// Converts `literal` for `column` of `table`. Text values point into
// `arena`, which must outlive the value (a deque keeps its strings in place).
Converted ConvertLiteral(const jet::TableDef& table, const jet::ColumnDef& column,
                         const Literal& literal, std::deque<std::string>* arena);

// Date texts are read and written as the engine's expressions read and
// write them (jet/expression.h).
using jet::FormatOleDate;
using jet::ParseDateTimeText;

}  // namespace sql
