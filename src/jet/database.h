// Public face of the Access (.mdb) file engine: open a Jet 3 or Jet 4
// database, read its catalog and table definitions, scan a table's rows or
// seek them through an index, insert, update and delete rows, create
// databases, tables and indexes. Everything read from the file is
// distrusted: a damaged file yields a Status naming the problem, never a
// crash, a hang or unbounded memory use.
//
// Units. Every change belongs to a unit: Begin .. Commit groups several, and
// a change made outside Begin (one Insert, Update, Delete, CreateTable or
// CreateIndex, with all it cascades to) is a unit of its own. A unit is
// all-or-nothing: a change that fails leaves the database as it was before
// that change (inside Begin the unit stays open: the caller may go on or
// Rollback), and Rollback undoes the unit (a nested one only itself: Begin).
//
// Durability. A writer keeps the units it commits in a log beside the file
// ("<file>-wal") and copies them into the file at a checkpoint: when the log
// grows past OpenOptions::checkpoint_bytes, and at Close. A unit is
// committed once Commit (or the change that is its own unit) returns OK;
// from then on a crash of the program loses none of it. It survives a power
// cut once the log is synced: at its commit with sync_every_commit, else at
// the next checkpoint or Close (never with sync = false). A commit that
// fails leaves nothing of its unit behind. Whatever stops a writer, the next
// open of the file finds the state after some prefix of the committed
// units, never a torn one (after a power cut the units not yet synced may
// be missing): it copies them in from the log first, or, a reader that is
// not alone with the file, reads through the log.
//
// Readers beside the writer. A database opened with read_only = false is the
// file's one writer until Close; another writer's Open is refused (kBusy,
// "in use by another program"). Readers (read_only = true, in this program
// or another) may be open beside it, and each sees one committed state for
// as long as it is open: the units committed when it opened, never a unit in
// progress nor one committed later (open it again to see those). So the file
// never changes under an open reader: a checkpoint waits for the readers to
// close (at Close, up to busy_timeout_ms) or is put off, and a reader that
// opens while pages are being copied waits up to busy_timeout_ms, then gets
// kBusy. A reader changes nothing but, at its open, what a writer that
// stopped left in its log: the committed units, copied into the file.
//
// Checks. A change is checked before it writes anything, and a refusal
// writes nothing; what Insert, Update and Delete check is said at each.
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
  // Readers and a writer share the file: a reader's Open waits up to this
  // long while another program copies its log into the file (kBusy after
  // that), and a writer's Close as long for open readers to close before it
  // leaves its log for the next open to copy in.
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

// ---- Creating databases, tables and indexes ----
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
  double creation_date = 0;                // OLE date of the header and catalog rows; 0 = now
  OpenOptions open;                        // how the new file is opened (read_only is ignored)
};
// ---- end of creation declarations ----

class Database {
 public:
  virtual ~Database() = default;

  // Opens path. Fails with kNotAnAccessFile, kNotSupported (.accdb, encoded
  // pages), kCorruption (truncated or damaged), kInvalidPassword, kBusy (see
  // Readers beside the writer) or kIoError. Changes nothing in the file but
  // what a writer that stopped left in its log (see Durability).
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
  // kNotSupported for an index whose keys this engine does not build (a
  // text column in another sort order than General, say): CanSeek tells.
  virtual Result<std::unique_ptr<TableCursor>> SeekRange(const TableDef& table,
                                                         const IndexDef& index, const KeyBound* low,
                                                         const KeyBound* high) = 0;
  // Whether SeekRange can go through `index`; when not, *why says what
  // keys this engine does not build.
  virtual bool CanSeek(const TableDef& table, const IndexDef& index, std::string* why) = 0;

  // Reads the row `id` of `table` (following an overflow pointer).
  // kNotFound when the slot holds no live row.
  virtual Status ReadRow(const TableDef& table, RowId id, Row* row) = 0;

  // ---- Writing ----
  // Only a database opened for writing changes (kInvalidArgument otherwise).
  // Values are matched to columns by kind: Boolean, integer kinds (any
  // integer kind fits a Byte/Integer/Long/Currency/Single/Double column if
  // the value is in range; Currency values are given x 10,000), Single/Double,
  // DateTime (OLE date), Text (UTF-8, also for Memo), Binary (also for OLE),
  // Guid, Decimal. In a Jet 3 file, text goes into the file's code page; a
  // character it lacks is kInvalidArgument naming the column and the
  // character.
  //
  // Insert and Update check a row in this order, and the first rule it
  // breaks refuses the change:
  //   1. the design properties: Required (a Null refused with Access's error
  //      3314), AllowZeroLength (an empty text, 3315), each column's
  //      ValidationRule and then the table's (3316 with the rule's
  //      ValidationText, 3317 without; a rule passes when True or Null);
  //   2. the values: their kinds and lengths (kInvalidArgument), a Null in a
  //      column of the primary key or of a required index, a key that a
  //      unique index or the primary key already holds (kConstraint with
  //      Access's text);
  //   3. the enforced relationships of the file (MSysRelationships): a
  //      referencing value needs its referenced row (3201; a Null passes).
  // The refusals of 1 and 3 are kConstraint with Access's error number
  // (Status::access_error) and text. A default or rule that cannot be
  // parsed or evaluated fails every change that needs it, naming it. Other
  // failures: kNotSupported (a table with an index this engine cannot
  // maintain), kCorruption (a damaged page met on the way), kIoError.

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
  // Null too. A Null in the long autonumber column hands out the next
  // number, in a GUID autonumber column a new GUID. Then the row is checked
  // as above, every column and the table's rule.
  virtual Result<InsertedRow> Insert(const TableDef& table, const std::vector<Value>& values,
                                     const std::vector<bool>& given) = 0;
  // Every column given.
  Result<InsertedRow> Insert(const TableDef& table, const std::vector<Value>& values) {
    return Insert(table, values, {});
  }
  // Changes some columns of one row; the others keep their stored bytes, and
  // a column given the value it holds is not changed. An autonumber column
  // cannot be changed (kInvalidArgument). The design properties of the
  // changed columns and the table's rule are checked as above (a value
  // stored before a rule was added does not block changes to the row's
  // other columns), then the keys and relationships. A referenced key that
  // changes takes the rows referring to it along when the relationship
  // cascades updates; else the change is refused (3200) while rows refer to
  // it. kNotFound when `id` names no live row of `table`.
  virtual Status Update(const TableDef& table, RowId id,
                        const std::vector<ColumnChange>& changes) = 0;
  // Deletes one row: its index entries go, its long values and its bytes
  // give their room back to their pages, and a page left with no row goes
  // back to the file. The rows referring to it through an enforced
  // relationship go along (cascading deletes) or are set Null, as the
  // relationship says; else the delete is refused (3200) while any refers
  // to it. kNotFound when `id` names no live row of `table`.
  virtual Status Delete(const TableDef& table, RowId id) = 0;
  // What a change cascades to is part of it: a refusal anywhere in the
  // cascade refuses the whole change, and none of it is written.

  // ---- Creating ----
  // Writes a new, empty Access 2000 (Jet 4) or, with options.version
  // kJet3, Access 97 database at `path` (code page 1252, General sort
  // order, no password), as the database engine lays one out: header,
  // global page map, the four system tables and their catalog rows. The
  // file appears whole or not at all; an existing file is never overwritten
  // (kInvalidArgument). Then opens it for writing.
  static Result<std::unique_ptr<Database>> Create(const std::string& path,
                                                  const CreateOptions& options = {});
  // The log a writer keeps beside the database at `path` (see Durability).
  static std::string LogPath(const std::string& path);
  // Removes a database nobody has open, with its log: how a file that was
  // never finished is thrown away. What is not there is no error.
  static void Discard(const std::string& path);
  // Adds a table: its catalog row, definition, usage maps and an empty root
  // page per index, as one unit (or one statement of the open unit).
  // kInvalidArgument naming the table/column/index for a taken name, a bad
  // type or length, a key on a missing column; nothing is written then.
  virtual Status CreateTable(const TableDesign& design) = 0;
  // Adds an index to a table created by this engine or by Access, filling
  // it from the table's rows; kConstraint when a unique index meets a
  // duplicate key.
  virtual Status CreateIndex(std::string_view table_name, const IndexDesign& design) = 0;

  // Rolls back an open unit, then a writer copies every committed unit into
  // the file, removes the log and releases the file. Its outcomes:
  //   OK           every committed unit is in the file; or, when readers were
  //                still open after busy_timeout_ms, in the log beside it,
  //                synced, for the next open to copy in. Either way nothing
  //                committed is lost.
  //   kSavedInLog  the copy into the file began and then failed (a full
  //                disk, say): the file may be half written, but the log
  //                holds every committed unit, synced, and the next open of
  //                the file finishes the copy. The changes are saved: making
  //                them again would make them twice.
  //   other        (kIoError) not a page was copied: the units committed
  //                since the last checkpoint are dropped with the log, and
  //                the file is as it was when opened, or as the last
  //                checkpoint left it (the message says which). Only when
  //                the log could not be emptied either does the message say
  //                that the next open may still copy them in.
  // The file is released whatever the outcome; a reader's Close always
  // succeeds. The destructor closes too, but only Close reports the outcome.
  virtual Status Close() = 0;
};

}  // namespace jet
