// The Database implementation behind database.h, shared by the files of this
// folder: database.cc (open, catalog, scans), index_cursor.cc (seeks),
// table_writer.cc (rows written and deleted), referential_integrity.cc (the
// enforced relationships), new_table.cc (tables and indexes created) and
// check.cc (the structural check).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/base/text.h"
#include "jet/catalog/catalog.h"
#include "jet/database.h"
#include "jet/db/relationships.h"
#include "jet/format/format.h"
#include "jet/format/header.h"
#include "jet/format/table_def.h"
#include "jet/pager/page_file.h"
#include "jet/space/usage_map.h"

namespace jet {

struct StoredField;

class DatabaseImpl : public Database {
 public:
  DatabaseImpl(std::unique_ptr<PageFile> file, const HeaderInfo& header);

  // Reads the catalog; called once by Open.
  Status Load();
  // For a writer: the global map and every table's maps point inside the
  // file (a file cut short is not written: what it lost is still in use).
  Status CheckMapsInsideFile();

  const DatabaseInfo& info() const override { return info_; }
  Result<std::vector<std::string>> UserTableNames() override;
  Result<TableDef> GetTable(std::string_view table_name) override;
  Result<std::unique_ptr<TableCursor>> Scan(const TableDef& table) override;
  using Database::Check;
  Result<std::vector<std::string>> Check(std::vector<std::string>* notes) override;
  Status ReadRow(const TableDef& table, RowId id, Row* row) override;
  Result<std::unique_ptr<TableCursor>> SeekRange(const TableDef& table, const IndexDef& index,
                                                 const KeyBound* low,
                                                 const KeyBound* high) override;
  bool CanSeek(const TableDef& table, const IndexDef& index, std::string* why) override;

  Status Begin() override;
  Status Commit() override;
  void Rollback() override;
  using Database::Insert;
  Result<InsertedRow> Insert(const TableDef& table, const std::vector<Value>& values,
                             const std::vector<bool>& given) override;
  Status Update(const TableDef& table, RowId id, const std::vector<ColumnChange>& changes) override;
  Status Delete(const TableDef& table, RowId id) override;
  Status Close() override;

  // new_table.cc
  Status CreateTable(const TableDesign& design) override;
  Status CreateIndex(std::string_view table_name, const IndexDesign& design) override;

  void set_read_only(bool read_only) { read_only_ = read_only; }

 private:
  struct WriteTable;
  // Where a live row's bytes are: its header slot (what indexes point at)
  // and, for a moved row, the slot holding its image.
  struct RowLocation {
    RowId header;
    uint32_t header_size = 0;
    uint32_t data_page = 0;
    uint8_t data_slot = 0;
    const uint8_t* data = nullptr;
    uint32_t data_size = 0;
    bool moved = false;
  };

  // table_writer.cc
  Status CheckWritable();
  // What a Jet 3 file's text is written with; null for Jet 4 (UCS-2).
  TextDecoder* code_pages() { return format_.IsJet3() ? &text_ : nullptr; }
  Status LoadForWrite(const TableDef& given, WriteTable* t);
  // Runs one change as a unit of its own, or as a statement of the open unit.
  Status RunChange(const std::function<Status()>& change);
  // Values, required columns, unique keys; fills the key of every physical index.
  Status CheckRules(const WriteTable& t, const std::vector<Value>& values,
                    const std::vector<Value>* old_values, RowId self,
                    std::vector<std::string>* keys);
  Status PlaceRow(const WriteTable& t, std::string_view row, uint16_t flags,
                  uint32_t preferred_page, RowId* id);
  // Deletes a moved row's image that its header no longer points at (TW4).
  Status DeleteMovedImage(const WriteTable& t, uint32_t page_number, uint8_t slot);
  Status UpdateTableCounters(const WriteTable& t, int row_delta, uint32_t autonumber_last,
                             const std::vector<bool>& new_keys);
  Status LocateLiveRow(const WriteTable& t, RowId id, RowLocation* where);
  // LocateLiveRow, then the row's values and its fields as stored (copies:
  // they stay as they are when the pages change).
  Status ReadLiveRow(const WriteTable& t, RowId id, RowLocation* where, Row* row,
                     std::vector<StoredField>* stored);
  // The steps of Update that write. RewriteRow writes the row's new image:
  // the changed columns encoded (their replaced long values freed), the
  // others copied as stored; in its slot when it fits the slot's length,
  // else moved (MoveRow). UpdateIndexEntries moves the entries whose key
  // changed; (*new_keys)[k]: physical index k gained a key no entry had.
  Status RewriteRow(const WriteTable& t, RowId id, const RowLocation& where,
                    const std::vector<Value>& values, const std::vector<bool>& changed,
                    const std::vector<StoredField>& stored);
  Status MoveRow(const WriteTable& t, RowId id, const RowLocation& where, std::string_view row);
  Status UpdateIndexEntries(const WriteTable& t, RowId id, const std::vector<Value>& old_values,
                            const std::vector<Value>& values, const std::vector<std::string>& keys,
                            std::vector<bool>* new_keys);

  // Removes one live row with its index entries and long values; *def gets
  // the table's definition as read for the change, *old_row the row.
  Status RemoveRow(const TableDef& given, RowId id, TableDef* def, Row* old_row);

  // referential_integrity.cc: the enforced relationships (relationships.h, R1-R4).
  Status LoadRelationships();
  // R1 for a row about to be written (old_values: the row before an update).
  Status CheckReferences(const TableDef& def, const std::vector<Value>& values,
                         const std::vector<Value>* old_values);
  // R2 after a row's update is written.
  Status CascadeKeyChange(const TableDef& def, const std::vector<Value>& old_values,
                          const std::vector<Value>& values);
  // Delete: the row and, R3, what refers to it.
  Status DeleteWithRelated(const TableDef& table, RowId id);
  // The table a relationship names, read afresh.
  Status RelatedTable(const Relationship& r, const std::string& name, TableDef* def);
  // Rows of `def` whose `columns` (indexes into def.columns) hold `key`
  // (one value per column), through an index on exactly those columns when
  // there is one, else by a scan; at most `limit` (0: all).
  Status FindRows(const TableDef& def, const std::vector<size_t>& columns,
                  const std::vector<Value>& key, size_t limit, std::vector<RowId>* ids);
  // The rows that refer through `r` to the referenced `key`: the referencing
  // table, its columns of `r` (indexes into its columns) and those rows.
  Status ReferringRows(const Relationship& r, const std::vector<Value>& key, TableDef* referencing,
                       std::vector<size_t>* referencing_columns, std::vector<RowId>* ids);

  Status ReadTable(const CatalogEntry& entry, TableDef* table, TableDefExtras* extras);
  Status OwnedPages(const TableDef& table, UsageMap* map);

  // check.cc
  struct CheckRun;  // what the check gathers over the whole file
  void CheckTable(const CatalogEntry& entry, CheckRun* run);

  std::unique_ptr<PageFile> file_holder_;
  PageFile& file_;
  const Format& format_;
  HeaderInfo header_;
  DatabaseInfo info_;
  TextDecoder text_;
  Catalog catalog_;
  bool read_only_ = true;
  int unit_depth_ = 0;  // Begin calls not yet ended: 1 = a unit, more = savepoints in it
  // Changes running: a change a relationship cascades to runs inside the
  // one that caused it, in its unit.
  int change_depth_ = 0;
  bool relationships_loaded_ = false;
  std::vector<Relationship> relationships_;  // the enforced ones between local tables
};

}  // namespace jet
