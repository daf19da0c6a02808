// Public face of the Access (.mdb) file engine: open a Jet 3 or Jet 4
// database, read its catalog and table definitions, scan the rows of a
// table, and insert and update rows of Jet 4 tables. Everything read from the
// file is distrusted: a damaged file yields a Status naming the problem, never
// a crash, a hang or unbounded memory use.
//
// Writing. A database opened with read_only = false is the file's one
// writer until Close; readers may read beside it, each seeing one committed
// state for as long as it is open (page_file.h, P6-P9). Every change belongs to a unit: Begin .. Commit
// groups several, and a change made outside Begin is a unit of its own. A
// unit is all-or-nothing: a change that fails leaves the database as it was
// before that change (the unit stays open: the caller may go on or Rollback),
// and a crash at any moment leaves the state after some prefix of the
// committed units (page_file.h, wal.h). Before anything is written, a change
// is checked against the table's rules: column types and lengths, required
// columns, unique indexes and the primary key.
//
// Not thread-safe: one Database per thread. A TableCursor must not outlive
// the Database that made it, and must not be used across a write.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
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
  std::string name;              // UTF-8
  ColumnType type = ColumnType::kText;
  uint16_t column_number = 0;    // bit in the null mask; gaps where columns were deleted
  uint16_t var_index = 0;        // slot in the row's variable-offset table (variable columns)
  uint16_t fixed_offset = 0;     // offset inside the fixed area (fixed columns)
  uint16_t length = 0;           // stored byte length (Jet 4 text: 2 x characters)
  uint8_t flags = 0;             // 0x01 fixed, 0x04 long autonumber, 0x40 GUID autonumber
  uint8_t ext_flags = 0;         // Jet 4: 0x01 compressed Unicode allowed
  uint8_t precision = 0;         // Numeric only
  uint8_t scale = 0;             // Numeric only
  uint16_t sort_order = 0;       // text: LCID of the collation (0x0409 General)
  uint8_t sort_version = 0;      // Jet 4 text: 0 General legacy, 1 General 2010
  uint16_t code_page = 0;        // Jet 3 text: the column's code page (0 = database's)
  bool required = false;         // design property "Required" (NOT NULL)

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
  uint32_t usage_map_pointer = 0;       // row pointer (row | page << 8)

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
  uint32_t row_count = 0;             // live rows as recorded in the definition
  uint32_t autonumber_last = 0;       // last autonumber handed out
  uint16_t max_cols = 0;              // columns ever defined (deleted ones included)
  uint16_t num_var_cols = 0;          // var-offset slots per row
  std::vector<ColumnDef> columns;     // in column-number order
  std::vector<IndexDef> indexes;      // logical indexes in definition order
  uint32_t owned_map_pointer = 0;     // row pointer to the owned-pages usage map
  uint32_t free_map_pointer = 0;      // row pointer to the free-space usage map

  // Case-insensitive lookup; nullptr when absent.
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
    kNull, kBoolean, kByte, kInteger, kLong, kCurrency, kSingle, kDouble,
    kDateTime, kText, kBinary, kGuid, kDecimal,
  };

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::kNull; }

  bool boolean() const { return int_ != 0; }
  // Byte, Integer, Long as their value; Currency as value x 10,000.
  int64_t integer() const { return int_; }
  double real() const { return real_; }            // Single, Double, DateTime (OLE date)
  std::string_view text() const { return bytes_; }  // UTF-8 (Text, Memo)
  std::string_view binary() const { return bytes_; }  // raw (Binary, OLE)
  const std::array<uint8_t, 16>& guid() const { return guid_; }  // as stored on disk
  const Decimal& decimal() const { return decimal_; }

  static Value Null() { return Value(); }
  static Value Boolean(bool b) { Value v; v.kind_ = Kind::kBoolean; v.int_ = b; return v; }
  static Value Integer(Kind k, int64_t i) { Value v; v.kind_ = k; v.int_ = i; return v; }
  static Value Real(Kind k, double d) { Value v; v.kind_ = k; v.real_ = d; return v; }
  static Value Bytes(Kind k, std::string_view b) { Value v; v.kind_ = k; v.bytes_ = b; return v; }
  static Value Guid(const std::array<uint8_t, 16>& g) { Value v; v.kind_ = Kind::kGuid; v.guid_ = g; return v; }
  static Value Dec(const Decimal& d) { Value v; v.kind_ = Kind::kDecimal; v.decimal_ = d; return v; }

 private:
  Kind kind_ = Kind::kNull;
  int64_t int_ = 0;
  double real_ = 0;
  std::string_view bytes_;
  std::array<uint8_t, 16> guid_{};
  Decimal decimal_{};
};

// A decoded row: one Value per column of the TableDef, in its column order.
// Reused between reads so that scanning a table does not allocate per value.
struct Row {
  std::vector<Value> values;
  uint32_t page = 0;   // where the row lives (its header row for overflow rows)
  uint8_t slot = 0;
  // Backing bytes of text and binary values. A decoder may keep it larger
  // than they need, as room for the next row.
  std::string storage;
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

// One end of an index range: values for the first values.size() columns of
// the index, in index column order.
struct KeyBound {
  std::vector<Value> values;
  bool inclusive = true;
};

// Format-level facts about an open file.
struct DatabaseInfo {
  JetVersion version = JetVersion::kJet4;
  uint32_t page_size = 4096;
  uint32_t page_count = 0;
  uint16_t code_page = 1252;
  uint16_t sort_order = 0x0409;
  bool has_password = false;
};

struct OpenOptions {
  std::string password;   // empty: the database must have none
  bool read_only = true;  // false: open for writing (Jet 4 only), locked
  // When changes reach the disk. By default the log is synced before each
  // checkpoint and at close: a crash of the program loses no committed unit,
  // and a power cut may lose the last units but never leaves a torn file
  // (the next open finds the state after a prefix of the committed units).
  // sync_every_commit also syncs the log at every commit, so that a
  // committed unit survives a power cut too (a sync costs about 1-4 ms
  // here). sync = false never syncs: tests and benchmarks only, since a
  // power cut may then damage the file.
  bool sync = true;
  bool sync_every_commit = false;
  // The log is copied into the file when it grows past this size, and at Close.
  uint64_t checkpoint_bytes = 32ull << 20;
  // Readers and a writer share the file (page_file.h, P6-P9): a reader
  // waits up to this long while another program copies its log into the
  // file, and a writer's Close as long for open readers to finish before it
  // leaves its log for the next open to apply. kBusy after that.
  int busy_timeout_ms = 5000;
};

// Where a row lives: the data page and slot of its header row, the one that
// indexes point at. It does not change when an update moves the row's data.
struct RowId {
  uint32_t page = 0;
  uint8_t slot = 0;
  bool operator==(const RowId&) const = default;
};

struct InsertedRow {
  RowId id;
  int64_t autonumber = 0;  // the value the long autonumber column received (0: none)
};

// A new value for the column at `column_index` of TableDef::columns.
struct ColumnChange {
  size_t column_index = 0;
  Value value;
};

// ---- Creating databases, tables and indexes (create.cc) ----
// A column of a new table. `type` is the stored type; a long autonumber
// (COUNTER) is kLong with autonumber set. `length`: characters of a Text
// column (1..255), bytes of a Binary column (1..255); ignored otherwise.
struct ColumnDesign {
  std::string name;
  ColumnType type = ColumnType::kText;
  uint16_t length = 0;
  bool autonumber = false;  // kLong only
  bool required = false;    // NOT NULL: the "Required" design property
  uint8_t precision = 18;   // kNumeric: 1..28
  uint8_t scale = 0;        // kNumeric: 0..precision
};

struct IndexColumnDesign {
  std::string column;
  bool ascending = true;
};

// A primary key is unique and required (flags 0x89, index type 1); a table
// has at most one.
struct IndexDesign {
  std::string name;
  std::vector<IndexColumnDesign> columns;  // 1..10, in key order
  bool primary_key = false;
  bool unique = false;
  bool ignore_nulls = false;
};

struct TableDesign {
  std::string name;
  std::vector<ColumnDesign> columns;  // 1..255
  std::vector<IndexDesign> indexes;
};

struct CreateOptions {
  double creation_date = 0;  // OLE date of the header and catalog rows; 0 = now
  OpenOptions open;          // how the new file is opened (read_only is ignored)
};
// ---- end of creation declarations ----

class Database {
 public:
  virtual ~Database() = default;

  // Opens path. Fails with kNotAnAccessFile, kNotSupported (.accdb, encoded
  // pages), kCorruption (truncated or damaged), kInvalidPassword or kIoError.
  // Never changes the file.
  static Result<std::unique_ptr<Database>> Open(const std::string& path,
                                                const OpenOptions& options = {});
  // The same over an image of a whole file held in memory (tests, fuzzing).
  static Result<std::unique_ptr<Database>> OpenImage(std::string image,
                                                     const OpenOptions& options = {});

  virtual const DatabaseInfo& info() const = 0;

  // Names of user tables (not system, not linked), in catalog order.
  virtual Result<std::vector<std::string>> UserTableNames() = 0;

  // Case-insensitive. kNotFound when there is no such table.
  virtual Result<TableDef> GetTable(std::string_view table_name) = 0;

  // REQUIRES: table came from this Database.
  virtual Result<std::unique_ptr<TableCursor>> Scan(const TableDef& table) = 0;

  // Structural check of the whole file; one line per problem, empty if sound.
  virtual Result<std::vector<std::string>> Check() = 0;

  // The rows of `table` whose key in `index` lies between `low` and `high`
  // (nullptr: open at that end), in index order; Row.page/slot name each
  // row. Bounds compare as the index orders (a descending column's "low"
  // end holds its larger values). An index that ignores nulls holds no row
  // whose indexed columns are all null. Equality on the first k columns:
  // low = high = those k values, both inclusive. Touches only the index
  // pages on the way and the rows found.
  // kNotSupported for index column types whose keys this engine does not
  // build (see index_key.h).
  virtual Result<std::unique_ptr<TableCursor>> SeekRange(const TableDef& table,
                                                         const IndexDef& index,
                                                         const KeyBound* low,
                                                         const KeyBound* high) = 0;

  // Reads the row `id` of `table` (following an overflow pointer).
  // kNotFound when the slot holds no live row.
  virtual Status ReadRow(const TableDef& table, RowId id, Row* row) = 0;

  // ---- Writing ----
  // Values are matched to columns by kind: Boolean, integer kinds (any
  // integer kind fits a Byte/Integer/Long/Currency/Single/Double column if
  // the value is in range; Currency values are given x 10,000), Single/Double,
  // DateTime (OLE date), Text (UTF-8, also for Memo), Binary (also for OLE),
  // Guid, Decimal. Null for the long autonumber column hands out the next
  // number. Errors: kInvalidArgument (wrong kind, text too long), kConstraint
  // (null in a required column, a duplicate key), kNotSupported (Jet 3, an
  // index kind this engine cannot maintain), kBusy, kIoError.

  // Starts a unit that groups changes until Commit or Rollback. Inside a
  // unit, Begin starts a nested one (a savepoint): its Commit keeps its
  // changes as part of the enclosing unit, its Rollback undoes only them.
  // Only the outermost Commit makes changes durable.
  virtual Status Begin() = 0;
  virtual Status Commit() = 0;
  virtual void Rollback() = 0;

  // `values` has one Value per column of `table`, in its column order.
  virtual Result<InsertedRow> Insert(const TableDef& table, const std::vector<Value>& values) = 0;
  // Changes some columns of one row; the others keep their stored bytes.
  virtual Status Update(const TableDef& table, RowId id,
                        const std::vector<ColumnChange>& changes) = 0;

  // ---- Creating (create.cc) ----
  // Writes a new, empty Access 2000 (Jet 4) database at `path` (code page
  // 1252, General sort order, no password), as the database engine lays
  // one out: header, global page map, the four system tables and their
  // catalog rows. The file appears whole or not at all; an existing file is
  // never overwritten (kInvalidArgument). Then opens it for writing.
  static Result<std::unique_ptr<Database>> Create(const std::string& path,
                                                  const CreateOptions& options = {});
  // Adds a table: its catalog row, definition, usage maps and an empty root
  // page per index, as one unit (or one statement of the open unit).
  // kInvalidArgument naming the table/column/index for a taken name, a bad
  // type or length, a key on a missing column; nothing is written then.
  virtual Status CreateTable(const TableDesign& design) = 0;
  // Adds an index to a table created by this engine or by Access, filling
  // it from the table's rows; kConstraint when a unique index meets a
  // duplicate key.
  virtual Status CreateIndex(std::string_view table_name, const IndexDesign& design) = 0;

  // Writes every committed change into the file, removes the log and
  // releases the lock. Rolls back an open unit. The destructor closes too,
  // but only Close reports failure.
  virtual Status Close() = 0;
};

}  // namespace jet
