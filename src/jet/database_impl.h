// The Database implementation behind database.h, shared by database.cc (open,
// catalog, scans) and check.cc (the structural check).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jet/catalog.h"
#include "jet/database.h"
#include "jet/format.h"
#include "jet/header.h"
#include "jet/page_file.h"
#include "jet/table_def.h"
#include "jet/text.h"
#include "jet/usage_map.h"

namespace jet {

class DatabaseImpl : public Database {
 public:
  DatabaseImpl(std::unique_ptr<PageFile> file, const HeaderInfo& header);

  // Reads the catalog; called once by Open.
  Status Load();

  const DatabaseInfo& info() const override { return info_; }
  Result<std::vector<std::string>> UserTableNames() override;
  Result<TableDef> GetTable(std::string_view table_name) override;
  Result<std::unique_ptr<TableCursor>> Scan(const TableDef& table) override;
  Result<std::vector<std::string>> Check() override;
  Status ReadRow(const TableDef& table, RowId id, Row* row) override;

  Status Begin() override;
  Status Commit() override;
  void Rollback() override;
  Result<InsertedRow> Insert(const TableDef& table, const std::vector<Value>& values) override;
  Status Update(const TableDef& table, RowId id, const std::vector<ColumnChange>& changes) override;
  Status Close() override;

  void set_read_only(bool read_only) { read_only_ = read_only; }

 private:
  Status ReadTable(const CatalogEntry& entry, TableDef* table, TableDefExtras* extras);
  Status OwnedPages(const TableDef& table, UsageMap* map);
  void CheckTable(const CatalogEntry& entry, std::vector<std::string>* problems);

  std::unique_ptr<PageFile> file_holder_;
  PageFile& file_;
  const Format& format_;
  HeaderInfo header_;
  DatabaseInfo info_;
  TextDecoder text_;
  Catalog catalog_;
  bool read_only_ = true;
  bool user_unit_ = false;  // Begin was called
};

}  // namespace jet
