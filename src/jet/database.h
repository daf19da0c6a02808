// Public face of the Access (.mdb) file engine: open a Jet 3 or Jet 4
// database, read its catalog and table definitions, scan the rows of a
// table, insert and update rows, create tables and indexes. Everything read from the
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
// columns, zero-length texts and validation rules (the design properties
// Access keeps, db/rules.h), unique indexes and the primary key.
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
#include "jet/types.h"

namespace jet {

class FileSystem;  // file/file.h

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
  bool read_only = true;  // false: open for writing, locked
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
  // The files the database and its log are read and written through; null:
  // the operating system's. Not owned: it must outlive the Database. Tests
  // pass one that fails an operation, ends the process at it or cuts the
  // power there.
  FileSystem* file_system = nullptr;
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

// ---- Creating databases, tables and indexes (db/create.h) ----
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
  JetVersion version = JetVersion::kJet4;  // kJet3: an Access 97 database
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
  // The same over an image of a whole file, opened as a file held in
  // memory (tests, fuzzing): changes stay in that memory, with the Database.
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
  // `notes` (may be null) gets what is not wrong but worth telling: pages
  // marked used in the global page map and long-value rows that nothing
  // refers to, and index node pages without a link to a neighbour at their
  // level. Access and other writers leave the first two behind (the long
  // values of rows they changed or deleted, pages they cleared) until the
  // file is compacted, so they are wasted room, not damage; no reader
  // follows the links between node pages.
  virtual Result<std::vector<std::string>> Check(std::vector<std::string>* notes) = 0;
  Result<std::vector<std::string>> Check() { return Check(nullptr); }

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
  // Whether SeekRange can go through `index`; when not, *why says what
  // keys this engine does not build.
  virtual bool CanSeek(const TableDef& table, const IndexDef& index, std::string* why) = 0;

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
  // (null in a required column, a duplicate key), kNotSupported (an index
  // kind this engine cannot maintain), kBusy, kIoError. In a Jet 3 file,
  // text goes into the file's code page; a character it lacks is
  // kInvalidArgument naming the column and the character.

  // Starts a unit that groups changes until Commit or Rollback. Inside a
  // unit, Begin starts a nested one (a savepoint): its Commit keeps its
  // changes as part of the enclosing unit, its Rollback undoes only them.
  // Only the outermost Commit makes changes durable.
  virtual Status Begin() = 0;
  virtual Status Commit() = 0;
  virtual void Rollback() = 0;

  // `values` has one Value per column of `table`, in its column order.
  // `given` (empty, or one flag per column) marks the columns the caller
  // names: a column left out gets its design property DefaultValue,
  // evaluated now (a Null for one without); a column given keeps its value,
  // Null too. Then the design rules are checked: Required, AllowZeroLength,
  // the columns' and the table's ValidationRule (db/rules.h), refused with
  // Access's error number (Status::access_error) and text.
  virtual Result<InsertedRow> Insert(const TableDef& table, const std::vector<Value>& values,
                                     const std::vector<bool>& given) = 0;
  // Every column given.
  Result<InsertedRow> Insert(const TableDef& table, const std::vector<Value>& values) {
    return Insert(table, values, {});
  }
  // Changes some columns of one row; the others keep their stored bytes.
  // The changed columns and the table's rule are checked as on Insert.
  virtual Status Update(const TableDef& table, RowId id,
                        const std::vector<ColumnChange>& changes) = 0;
  // Deletes one row: its index entries go, its long values and its bytes
  // give their room back to their pages, and a page left with no row goes
  // back to the file. kNotFound when `id` names no live row of `table`.
  virtual Status Delete(const TableDef& table, RowId id) = 0;
  // Insert, Update and Delete keep the enforced relationships of the file
  // (MSysRelationships): a referencing value needs its referenced row (a
  // Null passes), and a referenced key that changes or goes takes its
  // referencing rows along as the relationship says (cascading the change,
  // deleting them or setting them Null), else the change is refused. All
  // of it is one change: kConstraint with Access's text refuses the whole.

  // ---- Creating (db/create.h) ----
  // Writes a new, empty Access 2000 (Jet 4) or, with options.version
  // kJet3, Access 97 database at `path` (code page 1252, General sort
  // order, no password), as the database engine lays one out: header, global page map, the four system tables and their
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
