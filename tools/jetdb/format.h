// Text forms of engine values for `jetdb export`: JSON lines and CSV.
//
// Rows are formatted into a caller-owned OutputBuffer, so that a table goes
// out in large pieces; each row first makes room for the longest text its
// values can have, then is written straight into it. Nothing here allocates
// per value beyond the growth of that buffer, except for Numeric, whose text
// the engine hands over as a std::string. The single-value functions append
// to a std::string.
//
// JSON lines: one object per row, every column a key, in column order, SQL
// null as null. CSV: a line of column names, then one line per row; fields
// quoted as RFC 4180 asks, lines ending in LF; null is an empty field and an
// empty text is "" so the two stay apart.
//
// The forms, shared by both output formats:
//   Yes/No                 true / false
//   Byte, Integer, Long    decimal integer
//   Currency               exact decimal with exactly four fractional digits,
//                          "12.3400", "-0.0100" (JSON: a string)
//   Numeric                exact decimal with the column's scale (JSON: a string)
//   Double                 shortest text that reads back as the same double;
//                          NaN and infinities as null (JSON) / empty (CSV)
//   Single                 shortest text that reads back as the same float,
//                          non-finite values as for Double
//   Date/Time              "YYYY-MM-DDTHH:MM:SS", rounded to the nearest second;
//                          a time-only value falls on 1899-12-30; a value
//                          outside the years 1..9999 as its raw day count
//   Text, Memo             the text (JSON: escaped string)
//   Binary, OLE            lowercase hex
//   Replication ID         "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", uppercase
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"

namespace jetdb {

enum class OutputFormat { kJsonLines, kCsv };

// Parses "jsonl" / "csv"; false for anything else.
bool ParseOutputFormat(std::string_view name, OutputFormat* format);

// A JSON string literal, quotes included. Control characters become \u00XX;
// bytes that are not well-formed UTF-8 become \ufffd so the output always
// parses.
void AppendJsonString(std::string_view utf8, std::string* out);

// A CSV field: quoted only when it holds a comma, quote, CR or LF; quotes
// inside are doubled.
void AppendCsvField(std::string_view text, std::string* out);

// Shortest round-trip text. Returns false (and appends nothing) for NaN and
// infinities, which JSON cannot carry.
bool AppendDouble(double value, std::string* out);
bool AppendSingle(float value, std::string* out);

// scaled = value x 10,000, as Currency is stored.
void AppendCurrency(int64_t scaled, std::string* out);

// OLE date: days since 1899-12-30; for negative values the integer part is
// the day and the fraction a positive time of day (-1.25 = 1899-12-29 06:00).
// Returns false (and appends nothing) when the value is not finite or its
// date falls outside the years 1..9999.
bool AppendOleDate(double ole_date, std::string* out);

void AppendGuid(const std::array<uint8_t, 16>& stored, std::string* out);
void AppendHex(std::string_view bytes, std::string* out);

// A growing byte buffer written through a pointer: Room(n) makes n more
// bytes writable without filling them first (as std::string::resize would),
// the writer puts its bytes there, and Commit keeps those before the point
// it stopped at. Not copyable.
class OutputBuffer {
 public:
  OutputBuffer() = default;
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // At least n writable bytes at the returned pointer, valid until the next
  // Room, Append or Reserve.
  char* Room(size_t n) {
    if (capacity_ - size_ < n) Grow(n);
    return data_.get() + size_;
  }
  // Keeps the bytes up to `end`. REQUIRES: end lies in the room last made.
  void Commit(const char* end) { size_ = static_cast<size_t>(end - data_.get()); }
  void Append(std::string_view bytes);
  void Reserve(size_t capacity);

  std::string_view view() const { return {data_.get(), size_}; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void clear() { size_ = 0; }

 private:
  void Grow(size_t n);

  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Formats the rows of one table. Keeps only the column names (pre-escaped)
// and types, so it stays valid after the TableDef is gone.
class RowFormatter {
 public:
  RowFormatter(OutputFormat format, const jet::TableDef& table);

  // CSV: the line of column names. JSON lines: nothing.
  void AppendHeader(OutputBuffer* out) const;
  void AppendHeader(std::string* out) const;
  // One line, its line end (platform::kLineEnd) included. REQUIRES: row came
  // from a scan of the table this formatter was made for.
  void AppendRow(const jet::Row& row, OutputBuffer* out) const;
  void AppendRow(const jet::Row& row, std::string* out) const;

 private:
  struct Key {
    uint32_t offset;  // in keys_
    uint32_t size;
  };

  OutputFormat format_;
  // JSON: what goes before each value, "{\"name\":" for the first column and
  // ",\"name\":" for the others, one after another in keys_, each padded to a
  // multiple of 16 bytes so that it can be copied in whole blocks.
  std::string keys_;
  std::vector<Key> key_spans_;
  size_t keys_size_ = 0;  // bytes of the keys together, padding excluded
  // CSV: the escaped column names.
  std::vector<std::string> names_;
};

}  // namespace jetdb
