// Reading `jetdb export` text back into engine values, for `jetdb import`:
// the inverse of format.h, one table at a time.
//
// Input is held whole in memory by the caller. RecordSplitter cuts it into
// records; RowParser turns one record into a jet::Row whose values are in the
// kinds Database::Insert asks for. Every text form format.h writes is read
// back to the same value, so export -> import -> export gives the same text
// (seconds of Date/Time and shortest-text floats included).
//
// Invariants:
//   1. A parsed row has one Value per column of the table, in column order;
//      a column the record does not name is null.
//   2. Text and binary values point into Row::storage, which the parser
//      fills; they stay valid until the Row is parsed into again.
//   3. A value is exact or an error: no rounding of Currency or Numeric
//      digits, no integer out of the column's range, no partial reads of a
//      number. An error names the table, the column, its type and the value.
//
// JSON lines: one object per line, keys are column names (case-insensitive,
// each at most once), values are null, true/false, numbers or strings;
// blank lines are skipped. CSV (RFC 4180): the first record names the
// columns; a quoted field may hold commas, doubled quotes and line ends; an
// empty field is null and "" is the empty text. Both accept LF or CR LF line
// ends and a leading UTF-8 byte order mark.
//
// The forms read, per column type (besides null):
//   Yes/No                true / false
//   Byte, Integer, Long   whole number in the column's range
//   Currency              decimal with at most four fractional digits (JSON:
//                         string or number)
//   Numeric               decimal with at most the column's scale digits after
//                         the point and at most its precision in all (JSON:
//                         string or number)
//   Single, Double        number, read straight to the column's width
//   Date/Time             "YYYY-MM-DDTHH:MM:SS" (or a blank for the T, or the
//                         date alone), else a raw OLE day count as a number
//   Text, Memo            UTF-8 text (JSON: string)
//   Binary, OLE           hex digits, either case (JSON: string)
//   Replication ID        "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", braces
//                         optional, either case (JSON: string)
//
// Not thread-safe: one RowParser per thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "jet/status.h"
#include "tools/jetdb/csv_fields.h"
#include "tools/jetdb/format.h"

namespace jetdb {

// Cuts held input into records. JSON lines: one line each, blank lines
// skipped. CSV: a line, or several when a quoted field holds line ends.
// REQUIRES: the input outlives the splitter and the records it returns.
class RecordSplitter {
 public:
  RecordSplitter(OutputFormat format, std::string_view input);

  // The next record without its line end, and the 1-based number of the line
  // it starts on. False at the end of the input.
  bool Next(std::string_view* record, size_t* line_number);

 private:
  OutputFormat format_;
  std::string_view input_;
  size_t position_ = 0;
  size_t line_number_ = 1;
};

class RowParser {
 public:
  // Keeps a copy of what it needs of the table.
  RowParser(OutputFormat format, const jet::TableDef& table);

  // CSV: reads the header record and maps its fields to columns. Errors: a
  // name the table has not, a column named twice. JSON lines: not needed.
  jet::Status ReadCsvHeader(std::string_view record);

  // Parses one record (as RecordSplitter gives it) into row->values and
  // row->storage. On error *row is unspecified. REQUIRES: for CSV,
  // ReadCsvHeader succeeded.
  jet::Status ParseRow(std::string_view record, jet::Row* row);

  // The columns the last parsed record named (CSV: the header's), one flag
  // per column: the others are left out of the insert and get their default
  // values (Database::Insert).
  const std::vector<bool>& named() const { return named_; }

 private:
  // One value as read from the text, before it meets its column.
  struct Token {
    enum class Kind { kNull, kBoolean, kNumber, kString, kCsvText };
    Kind kind = Kind::kNull;
    std::string_view text;  // number and string text (unescaped), CSV field
    bool boolean = false;

    // A CSV field may be a number or text alike.
    bool csv() const { return kind == Kind::kCsvText; }
    bool number() const { return kind == Kind::kNumber || csv(); }
    bool textual() const { return kind == Kind::kString || csv(); }
  };
  // A text or binary value whose bytes sit at storage[offset, offset + size).
  struct PendingBytes {
    size_t column_index;
    jet::Value::Kind kind;
    size_t offset;
    size_t size;
  };

  jet::Status ParseJsonObject(std::string_view record, jet::Row* row);
  jet::Status ParseCsvRecord(std::string_view record, jet::Row* row);
  // Splits a CSV record into csv_fields_ (unquoted text in scratch_).
  jet::Status SplitCsv(std::string_view record);
  // Column index of a JSON key or CSV header name; error if unknown or seen.
  jet::Status ClaimColumn(std::string_view name, size_t* column_index);
  // The token as the value of its column, by the column's type.
  jet::Status Convert(size_t column_index, const Token& token, jet::Row* row);
  jet::Status ConvertInteger(size_t column_index, const Token& token, jet::Value* value) const;
  jet::Status ConvertDecimal(size_t column_index, const Token& token, jet::Value* value) const;
  jet::Status ConvertReal(size_t column_index, const Token& token, jet::Value* value) const;
  jet::Status ConvertDateTime(size_t column_index, const Token& token, jet::Value* value) const;
  jet::Status ConvertHex(size_t column_index, const Token& token, jet::Row* row);
  jet::Status BadValue(size_t column_index, const Token& token, std::string_view why) const;

  struct Column {
    std::string name;
    jet::ColumnType type;
    uint8_t precision;
    uint8_t scale;
  };

  OutputFormat format_;
  std::string table_name_;
  jet::TableDef lookup_;  // names only, for case-insensitive lookup
  std::vector<Column> columns_;
  std::vector<size_t> csv_columns_;  // CSV: column index of each header field
  std::vector<uint8_t> seen_;        // per column: named in the current record
  std::vector<bool> named_;          // named(): the last parsed record's columns
  std::vector<CsvField> csv_fields_;
  std::vector<PendingBytes> pending_;
  std::string scratch_;
};

}  // namespace jetdb
