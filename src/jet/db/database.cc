// Opening a database and reading its catalog, definitions and rows; see
// database.h for the contract.
#include <algorithm>

#include "jet/base/coding.h"
#include "jet/db/database_impl.h"
#include "jet/rows/row_codec.h"
#include "jet/space/space.h"

namespace jet {

DatabaseImpl::DatabaseImpl(std::unique_ptr<PageFile> file, const HeaderInfo& header)
    : file_holder_(std::move(file)),
      file_(*file_holder_),
      format_(FormatFor(header.version)),
      header_(header),
      text_(header.code_page) {
  info_.version = header.version;
  info_.page_size = header.page_size;
  info_.page_count = file_.page_count();
  info_.code_page = header.code_page;
  info_.sort_order = header.sort_order;
  info_.has_password = header.has_password;
}

Status DatabaseImpl::Load() { return ReadCatalog(file_, format_, text_, &catalog_); }

Result<std::vector<std::string>> DatabaseImpl::UserTableNames() {
  std::vector<std::string> names;
  for (const CatalogEntry& e : catalog_.entries) {
    if (catalog_.IsUserTable(e)) names.push_back(e.name);
  }
  return names;
}

Status DatabaseImpl::ReadTable(const CatalogEntry& entry, TableDef* table, TableDefExtras* extras) {
  Status s = ReadTableDef(file_, format_, text_, entry.TableDefPage(), table, extras);
  if (!s.ok()) return Status::Corruption("table " + entry.name + ": " + s.message());
  table->name = entry.name;
  if ((entry.flags & kSystemObjectFlags) != 0) table->is_system = true;
  ApplyDesignProperties(entry.lv_prop, format_, text_, table);
  return Status::OK();
}

Result<TableDef> DatabaseImpl::GetTable(std::string_view table_name) {
  const CatalogEntry* entry = catalog_.FindTableEntry(table_name);
  if (entry == nullptr) return Status::NotFound("no table named " + std::string(table_name));
  if (entry->type != kObjectTable) {
    return Status::NotSupported("table " + entry->name + " is a linked table");
  }
  TableDef table;
  TableDefExtras extras;
  JET_RETURN_IF_ERROR(ReadTable(*entry, &table, &extras));
  return table;
}

Status DatabaseImpl::OwnedPages(const TableDef& table, UsageMap* map) {
  return ReadUsageMap(file_, format_, table.owned_map_pointer,
                      "owned-page map of table " + table.name, map);
}

Result<std::unique_ptr<TableCursor>> DatabaseImpl::Scan(const TableDef& table) {
  UsageMap map;
  JET_RETURN_IF_ERROR(OwnedPages(table, &map));
  std::unique_ptr<TableCursor> cursor =
      std::make_unique<TableScanner>(file_, format_, text_, table, std::move(map.pages));
  return cursor;
}

Status DatabaseImpl::CheckMapsInsideFile() {
  auto cut_short = [&](const std::string& what) {
    return Status::Corruption("the file, of " + std::to_string(file_.page_count()) +
                              " pages, ends before " + what +
                              ": it was cut short, so it is read but not changed; restore it "
                              "from a backup");
  };
  Result<uint32_t> used = UsedPagesPastEnd(file_, format_);
  if (!used.ok()) return used.status();
  if (*used > 0) {
    return cut_short(std::to_string(*used) + (*used == 1 ? " page" : " pages") +
                     " that its global page map marks used");
  }
  for (const CatalogEntry& entry : catalog_.entries) {
    if (entry.type != kObjectTable) continue;
    TableDef table;
    TableDefExtras extras;
    // A damaged definition is refused by the writes that need it.
    if (!ReadTable(entry, &table, &extras).ok()) continue;
    std::vector<std::pair<uint32_t, std::string>> maps = {
        {table.owned_map_pointer, "table " + entry.name}};
    for (const IndexDef& index : table.indexes) {
      maps.emplace_back(index.usage_map_pointer, "index " + index.name + " of " + entry.name);
    }
    for (const LongValueMaps& lv : extras.long_value_maps) {
      maps.emplace_back(lv.owned_map_pointer, "the long values of " + entry.name);
    }
    for (const auto& [pointer, owner] : maps) {
      UsageMap map;
      if (pointer == 0 || !ReadUsageMap(file_, format_, pointer, owner, &map).ok()) continue;
      if (map.pages_beyond_end > 0) return cut_short("pages that the map of " + owner + " lists");
    }
  }
  return Status::OK();
}

namespace {

Result<std::unique_ptr<Database>> OpenFile(std::unique_ptr<PageFile> file,
                                           const OpenOptions& options) {
  HeaderInfo header;
  Result<std::string> prefix = file->ReadPrefix(4096);
  if (!prefix.ok()) return prefix.status();
  JET_RETURN_IF_ERROR(ParseHeader(*prefix, &header));
  const uint64_t size = file->file_size();
  if (size % header.page_size != 0 && !options.read_only) {
    // Readers read the whole pages; a writer would append where the partial
    // page lies, and something may still point at what it lost.
    return Status::Corruption("the file ends " + std::to_string(size % header.page_size) +
                              " bytes into a page (its size, " + std::to_string(size) +
                              " bytes, is not a whole number of " +
                              std::to_string(header.page_size) +
                              "-byte pages): it may have been cut short, so it is read but not "
                              "changed");
  }
  if (size / header.page_size <= kCatalogTableDefPage) {
    return Status::Corruption("file of " + std::to_string(size / header.page_size) +
                              " pages is too small to hold the catalog");
  }
  JET_RETURN_IF_ERROR(CheckPassword(header, options.password));
  JET_RETURN_IF_ERROR(file->SetPageSize(header.page_size));
  auto db = std::make_unique<DatabaseImpl>(std::move(file), header);
  db->set_read_only(options.read_only);
  JET_RETURN_IF_ERROR(db->Load());
  if (!options.read_only) JET_RETURN_IF_ERROR(db->CheckMapsInsideFile());
  std::unique_ptr<Database> result = std::move(db);
  return result;
}

PageFileOptions PageFileOptionsFor(const OpenOptions& options) {
  PageFileOptions file_options;
  file_options.file_system = options.file_system;
  file_options.writable = !options.read_only;
  file_options.sync = options.sync;
  file_options.sync_every_commit = options.sync && options.sync_every_commit;
  file_options.checkpoint_bytes = options.checkpoint_bytes;
  file_options.busy_timeout_ms = options.busy_timeout_ms;
  return file_options;
}

}  // namespace

Result<std::unique_ptr<Database>> Database::Open(const std::string& path,
                                                 const OpenOptions& options) {
  Result<std::unique_ptr<PageFile>> file = PageFile::Open(path, PageFileOptionsFor(options));
  if (!file.ok()) return file.status();
  return OpenFile(std::move(file).value(), options);
}

Result<std::unique_ptr<Database>> Database::OpenImage(std::string image,
                                                      const OpenOptions& options) {
  Result<std::unique_ptr<PageFile>> file =
      PageFile::OpenImage(std::move(image), PageFileOptionsFor(options));
  if (!file.ok()) return file.status();
  return OpenFile(std::move(file).value(), options);
}

}  // namespace jet
