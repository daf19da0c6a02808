// The engine's value types: what a table, a column, an index and a value
// are, as every layer of the engine and its callers see them. Plain data,
// no file access.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/status.h"

namespace jet {

enum class JetVersion { kJet3, kJet4 };

// Column type codes as stored in the table definition (frozen on disk).
enum class ColumnType : uint8_t {
  kBoolean = 0x01,
  kByte = 0x02,
  kInteger = 0x03,
  kLong = 0x04,
  kCurrency = 0x05,
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kGuid = 0x0F,
  kNumeric = 0x10,
};

// "Boolean", "Long", "Text", ... ; "Unknown(0x..)" for codes we do not know.
std::string ColumnTypeName(ColumnType type);

struct ColumnDef {
  std::string name;  // UTF-8
  ColumnType type = ColumnType::kText;
  uint16_t column_number = 0;  // bit in the null mask; gaps where columns were deleted
  uint16_t var_index = 0;      // slot in the row's variable-offset table (variable columns)
  uint16_t position = 0;       // the column's place as Access lists it (0 in system tables)
  uint16_t fixed_offset = 0;   // offset inside the fixed area (fixed columns)
  uint16_t length = 0;         // stored byte length (Jet 4 text: 2 x characters)
  uint8_t flags = 0;           // 0x01 fixed, 0x04 long autonumber, 0x40 GUID autonumber
  uint8_t ext_flags = 0;       // Jet 4: 0x01 compressed Unicode allowed
  uint8_t precision = 0;       // Numeric only
  uint8_t scale = 0;           // Numeric only
  uint16_t sort_order = 0;     // text: LCID of the collation (0x0409 General)
  uint8_t sort_version = 0;    // Jet 4 text: 0 General legacy, 1 General 2010
  uint16_t code_page = 0;      // Jet 3 text: the column's code page (0 = database's)
  bool required = false;       // design property "Required" (NOT NULL)
  // Further design properties (catalog.h): "" when the column has none.
  bool allow_zero_length = true;  // "AllowZeroLength" (text and memo columns)
  std::string default_value{};    // "DefaultValue": an expression, as the designer keeps it
  std::string validation_rule{};  // "ValidationRule": a column rule (expression.h)
  std::string validation_text{};  // "ValidationText": what a broken rule says

  bool IsFixed() const { return (flags & 0x01) != 0; }
  bool IsLongAutoNumber() const { return (flags & 0x04) != 0; }
  bool IsGuidAutoNumber() const { return (flags & 0x40) != 0; }
  bool IsAutoNumber() const { return IsLongAutoNumber() || IsGuidAutoNumber(); }
  bool IsLongValue() const { return type == ColumnType::kMemo || type == ColumnType::kOle; }
};

struct IndexColumnDef {
  uint16_t column_number = 0;
  std::string column_name;
  bool ascending = true;
};

struct IndexDef {
  std::string name;                     // logical index name
  uint32_t index_number = 0;            // logical index number
  uint32_t physical_index = 0;          // which physical index holds its entries
  std::vector<IndexColumnDef> columns;  // in key order
  uint8_t flags = 0;                    // 0x01 unique, 0x02 ignore nulls, 0x08 required
  uint8_t index_type = 0;               // 1 primary key, 2 foreign key, 0 plain
  uint32_t root_page = 0;
  uint32_t usage_map_pointer = 0;  // row pointer (row | page << 8)

  bool IsPrimaryKey() const { return index_type == 1; }
  bool IsForeignKey() const { return index_type == 2; }
  bool IsUnique() const { return (flags & 0x01) != 0; }
  bool IgnoresNulls() const { return (flags & 0x02) != 0; }
  bool IsRequired() const { return (flags & 0x08) != 0; }
};

struct TableDef {
  std::string name;
  uint32_t tdef_page = 0;
  bool is_system = false;
  uint32_t row_count = 0;          // live rows as recorded in the definition
  uint32_t autonumber_last = 0;    // last autonumber handed out
  uint16_t max_cols = 0;           // columns ever defined (deleted ones included)
  uint16_t num_var_cols = 0;       // var-offset slots per row
  std::vector<ColumnDef> columns;  // in column-number order
  std::vector<IndexDef> indexes;   // logical indexes in definition order
  uint32_t owned_map_pointer = 0;  // row pointer to the owned-pages usage map
  uint32_t free_map_pointer = 0;   // row pointer to the free-space usage map
  std::string validation_rule;     // the table's own rule over its columns; "" when none
  std::string validation_text;

  // Lookup by name without regard to case (NamesEqual, names.h); nullptr
  // when absent.
  const ColumnDef* FindColumn(std::string_view column_name) const;
};

// Numeric (Decimal) value: sign, 128-bit unscaled magnitude and the column's scale.
struct Decimal {
  bool negative = false;
  uint8_t precision = 0;
  uint8_t scale = 0;
  std::array<uint32_t, 4> magnitude{};  // most significant word first

  // Exact decimal text, e.g. "-12.3400" (scale digits after the point).
  std::string ToString() const;
};

// One decoded value. Text and binary bytes live in the Row that holds the
// value and stay valid until that Row is read into again.
class Value {
 public:
  enum class Kind : uint8_t {
    kNull,
    kBoolean,
    kByte,
    kInteger,
    kLong,
    kCurrency,
    kSingle,
    kDouble,
    kDateTime,
    kText,
    kBinary,
    kGuid,
    kDecimal,
  };

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::kNull; }

  bool boolean() const { return int_ != 0; }
  // Byte, Integer, Long as their value; Currency as value x 10,000.
  int64_t integer() const { return int_; }
  double real() const { return real_; }               // Single, Double, DateTime (OLE date)
  std::string_view text() const { return bytes_; }    // UTF-8 (Text, Memo)
  std::string_view binary() const { return bytes_; }  // raw (Binary, OLE)
  const std::array<uint8_t, 16>& guid() const { return guid_; }  // as stored on disk
  const Decimal& decimal() const { return decimal_; }

  static Value Null() { return Value(); }
  static Value Boolean(bool b) {
    Value v;
    v.kind_ = Kind::kBoolean;
    v.int_ = b;
    return v;
  }
  static Value Integer(Kind k, int64_t i) {
    Value v;
    v.kind_ = k;
    v.int_ = i;
    return v;
  }
  static Value Real(Kind k, double d) {
    Value v;
    v.kind_ = k;
    v.real_ = d;
    return v;
  }
  static Value Bytes(Kind k, std::string_view b) {
    Value v;
    v.kind_ = k;
    v.bytes_ = b;
    return v;
  }
  static Value Guid(const std::array<uint8_t, 16>& g) {
    Value v;
    v.kind_ = Kind::kGuid;
    v.guid_ = g;
    return v;
  }
  static Value Dec(const Decimal& d) {
    Value v;
    v.kind_ = Kind::kDecimal;
    v.decimal_ = d;
    return v;
  }

 private:
  Kind kind_ = Kind::kNull;
  int64_t int_ = 0;
  double real_ = 0;
  std::string_view bytes_;
  std::array<uint8_t, 16> guid_{};
  Decimal decimal_{};
};

// A GUID is stored as Windows lays one out in memory: Data1 (4 bytes), Data2
// (2) and Data3 (2) little-endian, then Data4's 8 bytes as they are. Its
// text, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", and its index key take every
// field big-endian.
inline constexpr size_t kGuidTextSize = 38;

// The stored bytes in the order of the text.
std::array<uint8_t, 16> GuidBytesInTextOrder(const std::array<uint8_t, 16>& stored);

// The text, upper case: kGuidTextSize bytes at p; returns the end.
char* PutGuidText(char* p, const std::array<uint8_t, 16>& stored);
std::string GuidText(const std::array<uint8_t, 16>& stored);

// The inverse of GuidText: 32 hex digits of either case grouped 8-4-4-4-12,
// with or without the braces. False for anything else.
bool ParseGuidText(std::string_view text, std::array<uint8_t, 16>* stored);

// A decoded row: one Value per column of the TableDef, in its column order.
// Reused between reads so that scanning a table does not allocate per value.
struct Row {
  std::vector<Value> values;
  uint32_t page = 0;  // where the row lives (its header row for overflow rows)
  uint8_t slot = 0;
  // Backing bytes of text and binary values. A decoder may keep it larger
  // than they need, as room for the next row.
  std::string storage;
};

// Where a row lives: the data page and slot of its header row, the one that
// indexes point at. It does not change when an update moves the row's data.
struct RowId {
  uint32_t page = 0;
  uint8_t slot = 0;
  bool operator==(const RowId&) const = default;
};

// Iterates the live rows of one table in storage order (owned pages in page
// order, then row slots in slot order). Deleted rows are skipped. A row that
// an update moved (an overflow row) is produced where its data lies, once,
// with Row.page/slot naming the row that points at it: the order other
// readers give (overflowTestV2000.mdb shows it).
class TableCursor {
 public:
  virtual ~TableCursor() = default;
  // Reads the next row into *row. Returns false at the end (Status OK) or on
  // failure (*status set).
  virtual bool Next(Row* row, Status* status) = 0;
};

}  // namespace jet
