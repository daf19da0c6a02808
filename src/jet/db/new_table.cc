// The pages of a new table, catalog rows, and the tables and indexes that
// CreateTable and CreateIndex add to an open database; see create.h.
#include <algorithm>
#include <cstring>

#include "jet/base/coding.h"
#include "jet/catalog/catalog.h"
#include "jet/db/create.h"
#include "jet/db/database_impl.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "jet/index/index_tree.h"
#include "jet/names.h"
#include "jet/rows/data_page.h"
#include "jet/rows/long_value_writer.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/row_writer.h"
#include "jet/space/space.h"
#include "strings/ascii.h"

namespace jet {

using strings::AsciiCompareNoCase;

namespace {

Status NewMapPage(PageFile& file, const Format& format, uint32_t* map_page) {
  JET_RETURN_IF_ERROR(AllocatePage(file, format, map_page));
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(*map_page, &page));
  InitDataPage(format, page, 0);
  return Status::OK();
}

// Places a table's empty inline map rows (start page 0) as Access does: on
// the table's first map page while it has room; once it is full, each group
// of rows (a long-value column's pair, an index's map) starts a new page,
// and a group that does not fit on the page it started on goes on to
// another.
class MapRowPlacer {
 public:
  MapRowPlacer(PageFile& file, const Format& format, uint32_t first_page)
      : file_(file), format_(format), first_(first_page), current_(first_page) {}

  void BeginGroup() { current_ = first_; }

  Status Add(uint32_t* pointer) {
    const uint32_t size = MapRowSize(format_);
    const uint8_t* now;
    JET_RETURN_IF_ERROR(file_.GetPage(current_, "usage map", &now));
    if (now[0] != kPageData || !RowFits(format_, now, size)) {
      JET_RETURN_IF_ERROR(NewMapPage(file_, format_, &current_));
    }
    uint8_t* page;
    JET_RETURN_IF_ERROR(file_.MutablePage(current_, &page));
    uint8_t slot;
    JET_RETURN_IF_ERROR(AddRow(format_, page, current_, std::string(size, '\0'), 0, &slot));
    *pointer = (current_ << 8) | slot;
    return Status::OK();
  }

 private:
  PageFile& file_;
  const Format& format_;
  uint32_t first_;
  uint32_t current_;
};

// A new empty leaf root for `index`, listed in a new map row.
Status NewIndexRoot(PageFile& file, const Format& format, uint32_t tdef_page, MapRowPlacer& maps,
                    IndexDef* index) {
  maps.BeginGroup();
  JET_RETURN_IF_ERROR(maps.Add(&index->usage_map_pointer));
  JET_RETURN_IF_ERROR(AllocatePage(file, format, &index->root_page));
  IndexPage leaf;
  leaf.leaf = true;
  leaf.tdef_page = tdef_page;
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(index->root_page, &page));
  JET_RETURN_IF_ERROR(EncodeIndexPage(format, leaf, index->root_page, page));
  return AddPageToUsageMap(file, format, index->usage_map_pointer, index->root_page);
}

Status WriteTdefPage(PageFile& file, uint32_t tdef_page, const std::string& bytes) {
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(tdef_page, &page));
  std::memcpy(page, bytes.data(), bytes.size());
  return Status::OK();
}

}  // namespace

Status WriteNewTable(PageFile& file, const Format& format, TextDecoder& text, uint32_t tdef_page,
                     TableLayout* layout, uint32_t* map_page) {
  // Map rows as Access orders them: owned, free, the long-value columns'
  // maps by column number, then the indexes' maps by physical index.
  if (*map_page == 0) JET_RETURN_IF_ERROR(NewMapPage(file, format, map_page));
  MapRowPlacer maps(file, format, *map_page);
  JET_RETURN_IF_ERROR(maps.Add(&layout->owned_map_pointer));
  JET_RETURN_IF_ERROR(maps.Add(&layout->free_map_pointer));
  std::vector<const ColumnDef*> by_number;
  for (const ColumnDef& c : layout->columns) {
    if (c.IsLongValue()) by_number.push_back(&c);
  }
  std::sort(by_number.begin(), by_number.end(), [](const ColumnDef* a, const ColumnDef* b) {
    return a->column_number < b->column_number;
  });
  std::vector<LongValueMaps> maps_made;
  for (const ColumnDef* c : by_number) {
    LongValueMaps m;
    m.column_number = c->column_number;
    maps.BeginGroup();
    JET_RETURN_IF_ERROR(maps.Add(&m.owned_map_pointer));
    JET_RETURN_IF_ERROR(maps.Add(&m.free_map_pointer));
    maps_made.push_back(m);
  }
  for (uint32_t physical = 0; physical < layout->indexes.size(); ++physical) {
    for (IndexDef& index : layout->indexes) {
      if (index.physical_index != physical) continue;
      JET_RETURN_IF_ERROR(NewIndexRoot(file, format, tdef_page, maps, &index));
    }
  }
  // The TDEF lists the long-value maps in its column order; Access 97 lists
  // those of its system tables by column name.
  std::vector<const ColumnDef*> listed;
  for (const ColumnDef& c : layout->columns) listed.push_back(&c);
  if (format.IsJet3() && layout->system) {
    std::stable_sort(listed.begin(), listed.end(), [](const ColumnDef* a, const ColumnDef* b) {
      return AsciiCompareNoCase(a->name, b->name) < 0;
    });
  }
  std::vector<LongValueMaps> long_value_maps;
  for (const ColumnDef* c : listed) {
    for (const LongValueMaps& m : maps_made) {
      if (m.column_number == c->column_number) long_value_maps.push_back(m);
    }
  }
  std::string bytes;
  JET_RETURN_IF_ERROR(BuildTableDef(format, text, *layout, long_value_maps, &bytes));
  return WriteTdefPage(file, tdef_page, bytes);
}

Status InsertSystemRow(PageFile& file, const Format& format, TextDecoder& text, uint32_t tdef_page,
                       const std::vector<std::pair<const char*, Value>>& named) {
  TableDef def;
  TableDefExtras extras;
  JET_RETURN_IF_ERROR(ReadTableDef(file, format, text, tdef_page, &def, &extras));
  std::vector<Value> values(def.columns.size());
  for (const auto& [name, value] : named) {
    const ColumnDef* c = def.FindColumn(name);
    if (c == nullptr)
      return Status::Corruption("system table at page " + std::to_string(tdef_page) +
                                " has no column " + name);
    values[static_cast<size_t>(c - def.columns.data())] = value;
  }
  LongValueWriter long_values(file, format, tdef_page, extras.long_value_maps);
  std::vector<FieldInput> fields;
  for (const Value& v : values) fields.push_back(FieldInput::Of(v));
  std::string row;
  JET_RETURN_IF_ERROR(EncodeRow(format, def, fields, &long_values, 0, &row, &text));

  RowId id;
  UsageMap free_map;
  JET_RETURN_IF_ERROR(
      ReadUsageMap(file, format, def.free_map_pointer, "free-space map", &free_map));
  uint32_t target = free_map.pages.empty() ? 0 : free_map.pages.back();
  const uint8_t* existing = nullptr;
  if (target != 0) JET_RETURN_IF_ERROR(file.GetPage(target, "free-space map", &existing));
  if (target == 0 || !RowFits(format, existing, static_cast<uint32_t>(row.size()))) {
    if (target != 0 && DataPageFreeSpace(format, existing) < 64) {  // as the table writer does
      JET_RETURN_IF_ERROR(RemovePageFromUsageMap(file, format, def.free_map_pointer, target));
    }
    JET_RETURN_IF_ERROR(AllocatePage(file, format, &target));
    uint8_t* fresh;
    JET_RETURN_IF_ERROR(file.MutablePage(target, &fresh));
    InitDataPage(format, fresh, tdef_page);
    JET_RETURN_IF_ERROR(AddPageToUsageMap(file, format, def.owned_map_pointer, target));
    JET_RETURN_IF_ERROR(AddPageToUsageMap(file, format, def.free_map_pointer, target));
  }
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(target, &page));
  JET_RETURN_IF_ERROR(AddRow(format, page, target, row, 0, &id.slot));
  id.page = target;

  std::vector<bool> done(def.indexes.size(), false);
  for (const IndexDef& index : def.indexes) {
    if (done[index.physical_index]) continue;
    done[index.physical_index] = true;
    if (index.IgnoresNulls() && IndexColumnsAllNull(def, index, values)) continue;
    std::string key;
    JET_RETURN_IF_ERROR(EncodeIndexKey(def, index, values, &key, format.version));
    IndexTree tree(file, format, def, index);
    bool new_key = false;
    JET_RETURN_IF_ERROR(tree.Insert(key, id, &new_key));
    if (new_key) {
      JET_RETURN_IF_ERROR(AddToUniqueEntryCount(file, format, tdef_page, index.physical_index, 1));
    }
  }
  uint8_t* tdef;
  JET_RETURN_IF_ERROR(file.MutablePage(tdef_page, &tdef));
  WriteU32(tdef + format.tdef_row_count_offset, def.row_count + 1);
  return Status::OK();
}

Status InsertCatalogRow(PageFile& file, const Format& format, TextDecoder& text, uint32_t id,
                        uint32_t parent, const std::string& name, int type, double date,
                        std::string_view owner, uint32_t flags, std::string_view lv_prop) {
  std::vector<std::pair<const char*, Value>> v = {
      {"Id", Value::Integer(Value::Kind::kLong, static_cast<int32_t>(id))},
      {"ParentId", Value::Integer(Value::Kind::kLong, static_cast<int32_t>(parent))},
      {"Name", Value::Bytes(Value::Kind::kText, name)},
      {"Type", Value::Integer(Value::Kind::kInteger, type)},
      {"DateCreate", Value::Real(Value::Kind::kDateTime, date)},
      {"DateUpdate", Value::Real(Value::Kind::kDateTime, date)},
      {"Owner", Value::Bytes(Value::Kind::kBinary, owner)},
      {"Flags", Value::Integer(Value::Kind::kLong, static_cast<int32_t>(flags))},
  };
  if (!lv_prop.empty()) v.push_back({"LvProp", Value::Bytes(Value::Kind::kBinary, lv_prop)});
  return InsertSystemRow(file, format, text, kCatalogTableDefPage, v);
}

namespace {

// The "Required" property of each NOT NULL column, as a property blob:
//   "MR2\0" (Jet 4) or "KKD\0" (Jet 3); chunk 0x80: the property names; chunk 0x00: the table's own
//   (empty) block; then one chunk 0x01 per column with its records.
//   chunk: u32 length (header included), u16 type, u32 6 + name bytes,
//   u16 name bytes, name (Jet 4 UCS-2, Jet 3 the code page), records: u16 length, u8 0, u8 type
//   (1 Boolean), u16 name index, u16 value size, value (0xFF = Yes).
std::string RequiredPropertyBlob(const Format& format, TextDecoder& text, const std::string& table,
                                 const std::vector<ColumnDef>& columns) {
  // Names are checked: BuildTableDef has stored them.
  auto put_name = [&](const std::string& name, std::string* out) {
    if (!format.IsJet3()) return PutName(name, out);
    std::string bytes;
    (void)EncodeJet3Name(text, "", name, &bytes);
    char len[2];
    WriteU16(reinterpret_cast<uint8_t*>(len), static_cast<uint16_t>(bytes.size()));
    out->append(len, 2);
    *out += bytes;
  };
  auto chunk = [](uint16_t type, const std::string& body) {
    std::string c(6, '\0');
    WriteU32(reinterpret_cast<uint8_t*>(c.data()), static_cast<uint32_t>(6 + body.size()));
    WriteU16(reinterpret_cast<uint8_t*>(c.data()) + 4, type);
    return c + body;
  };
  auto object = [&](const std::string& name) {
    std::string n;
    put_name(name, &n);
    std::string head(4, '\0');
    WriteU32(reinterpret_cast<uint8_t*>(head.data()), static_cast<uint32_t>(4 + n.size()));
    return head + n;
  };
  std::string names;
  put_name("Required", &names);
  std::string blob(format.IsJet3() ? "KKD\0" : "MR2\0", 4);
  blob += chunk(0x80, names);
  blob += chunk(0x00, object(table));
  for (const ColumnDef& c : columns) {
    if (!c.required) continue;
    std::string body = object(c.name);
    const uint8_t record[9] = {9, 0, 0,   static_cast<uint8_t>(ColumnType::kBoolean), 0, 0,
                               1, 0, 0xFF};
    body.append(reinterpret_cast<const char*>(record), sizeof(record));
    blob += chunk(0x01, body);
  }
  return blob;
}

}  // namespace

// ---- Tables and indexes of an open database ----

// Both read the catalog afresh: a unit rolled back since the last read may
// have taken tables away (Rollback does not reread it).
Status DatabaseImpl::CreateTable(const TableDesign& design) {
  JET_RETURN_IF_ERROR(CheckWritable());
  JET_RETURN_IF_ERROR(Load());
  TableLayout layout;
  JET_RETURN_IF_ERROR(LayoutFromDesign(format_, design, &layout));
  for (const CatalogEntry& e : catalog_.entries) {
    if (e.parent_id == catalog_.tables_container_id && NamesEqual(e.name, design.name)) {
      return Status::InvalidArgument("table " + design.name + " already exists");
    }
  }
  {  // Refuse a definition too long for a page before anything is written.
    std::string bytes;
    std::vector<LongValueMaps> maps;
    for (const ColumnDef& c : layout.columns) {
      if (c.IsLongValue()) maps.push_back({c.column_number, 0, 0});
    }
    JET_RETURN_IF_ERROR(BuildTableDef(format_, text_, layout, maps, &bytes));
  }
  const std::string blob = std::any_of(layout.columns.begin(), layout.columns.end(),
                                       [](const ColumnDef& c) { return c.required; })
                               ? RequiredPropertyBlob(format_, text_, design.name, layout.columns)
                               : std::string();
  Status s = RunChange([&]() -> Status {
    uint32_t tdef_page;
    JET_RETURN_IF_ERROR(AllocatePage(file_, format_, &tdef_page));
    uint32_t map_page = 0;
    JET_RETURN_IF_ERROR(WriteNewTable(file_, format_, text_, tdef_page, &layout, &map_page));
    return InsertCatalogRow(file_, format_, text_, tdef_page, catalog_.tables_container_id,
                            design.name, kObjectTable, OleDateNow(), OwnerEngine(format_), 0, blob);
  });
  if (!s.ok()) return s;
  return Load();
}

namespace {

// The new index laid out against the table's columns, as LayoutFromDesign
// lays one out, and checked against the indexes the table has.
Status NewIndexFor(const Format& format, const TableDef& def, const IndexDesign& design,
                   IndexDef* index) {
  TableDesign probe;
  probe.name = def.name;
  for (const ColumnDef& c : def.columns) {
    ColumnDesign cs;
    cs.name = c.name;
    cs.type = ColumnType::kLong;
    probe.columns.push_back(cs);
  }
  probe.indexes.push_back(design);
  TableLayout checked;
  JET_RETURN_IF_ERROR(LayoutFromDesign(format, probe, &checked));
  *index = checked.indexes[0];
  for (IndexColumnDef& ic : index->columns) {
    ic.column_number = def.columns[ic.column_number].column_number;
  }
  for (const IndexDef& other : def.indexes) {
    if (other.IsForeignKey()) {  // its relationship fields are not kept by a rewrite
      return Status::NotSupported("table " + def.name +
                                  ": indexes cannot be added yet to a table "
                                  "in a relationship (index " +
                                  other.name + ")");
    }
    if (NamesEqual(other.name, design.name)) {
      return Status::InvalidArgument("table " + def.name + ": an index named " + other.name +
                                     " already exists");
    }
    if (design.primary_key && other.IsPrimaryKey()) {
      return Status::InvalidArgument("table " + def.name + ", index " + design.name +
                                     ": the table already has a primary key (" + other.name + ")");
    }
  }
  for (const IndexColumnDef& ic : index->columns) {
    for (const ColumnDef& c : def.columns) {
      if (c.column_number == ic.column_number && c.IsLongValue()) {
        return Status::InvalidArgument("table " + def.name + ", index " + design.name +
                                       ": column " + c.name + " is a " + ColumnTypeName(c.type) +
                                       " column and cannot be indexed");
      }
    }
  }
  return Status::OK();
}

// The table's layout with `index` added last: the stored fields of every
// column and index, and the unique-key counts of its TDEF, kept.
Status LayoutWithIndex(const PageFile& file, const Format& format, const TableDef& def,
                       IndexDef index, TableLayout* layout) {
  layout->name = def.name;
  layout->columns = def.columns;
  layout->max_cols = def.max_cols;
  layout->num_var_cols = def.num_var_cols;
  layout->row_count = def.row_count;
  layout->autonumber_last = def.autonumber_last;
  layout->owned_map_pointer = def.owned_map_pointer;
  layout->free_map_pointer = def.free_map_pointer;
  const uint8_t* tdef;
  JET_RETURN_IF_ERROR(file.GetPage(def.tdef_page, "table definition", &tdef));
  uint32_t physical_count = 0;
  for (const IndexDef& i : def.indexes)
    physical_count = std::max(physical_count, i.physical_index + 1);
  layout->indexes = def.indexes;
  if (physical_count != def.indexes.size()) {
    return Status::NotSupported("table " + def.name +
                                ": indexes sharing their entries cannot be rewritten yet");
  }
  for (uint32_t k = 0; k < physical_count; ++k) {
    layout->unique_counts.push_back(
        ReadU32(tdef + format.tdef_header_size + format.tdef_index_count_entry_size * k + 4));
  }
  if (format.IsJet3()) {  // what Access 97 writes into every logical index
    layout->logical_extra[0] = 0x04;
    layout->logical_extra[1] = 0x04;
  }
  index.index_number = physical_count;
  index.physical_index = physical_count;
  layout->indexes.push_back(std::move(index));
  layout->unique_counts.push_back(0);
  return Status::OK();
}

// Gives the layout's last index an empty root (its map row on the table's
// map page while that has room, else on a new one) and rewrites the TDEF.
Status WriteIndexRoot(PageFile& file, const Format& format, TextDecoder& text, const TableDef& def,
                      const std::vector<LongValueMaps>& long_value_maps, TableLayout* layout) {
  MapRowPlacer maps(file, format, RowPointerPage(def.owned_map_pointer));
  JET_RETURN_IF_ERROR(NewIndexRoot(file, format, def.tdef_page, maps, &layout->indexes.back()));
  std::string bytes;
  JET_RETURN_IF_ERROR(BuildTableDef(format, text, *layout, long_value_maps, &bytes));
  return WriteTdefPage(file, def.tdef_page, bytes);
}

// A primary key or required index takes no row with a Null in its columns
// (a Boolean is never Null: its bit is its value).
Status CheckNoNullKeyColumn(const TableDef& table, const IndexDef& index, const Row& row) {
  if (!index.IsPrimaryKey() && !index.IsRequired()) return Status::OK();
  for (const IndexColumnDef& ic : index.columns) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].column_number == ic.column_number && row.values[i].is_null() &&
          table.columns[i].type != ColumnType::kBoolean) {
        return Status::Constraint("table " + table.name + ", index " + index.name + ": column " +
                                  table.columns[i].name +
                                  " is Null in a row, so it cannot be in this index");
      }
    }
  }
  return Status::OK();
}

// Enters the key of every row `cursor` gives into the new, empty `index`,
// then counts its distinct keys into the TDEF.
Status FillIndex(PageFile& file, const Format& format, const TableDef& table, const IndexDef& index,
                 TableCursor& cursor) {
  IndexTree tree(file, format, table, index);
  Row row;
  Status scan;
  uint32_t unique = 0;
  while (cursor.Next(&row, &scan)) {
    JET_RETURN_IF_ERROR(CheckNoNullKeyColumn(table, index, row));
    const bool all_null = IndexColumnsAllNull(table, index, row.values);
    if (index.IgnoresNulls() && all_null) continue;
    std::string key;
    JET_RETURN_IF_ERROR(EncodeIndexKey(table, index, row.values, &key, format.version));
    bool new_key = false;
    JET_RETURN_IF_ERROR(tree.Insert(key, RowId{row.page, row.slot}, &new_key));
    if (!new_key && index.IsUnique() && !all_null) {
      return Status::Constraint("table " + table.name + ", index " + index.name +
                                ": the rows hold duplicate keys, so the index cannot be unique");
    }
    if (new_key) ++unique;
  }
  if (!scan.ok()) return scan;
  return AddToUniqueEntryCount(file, format, table.tdef_page, index.physical_index, unique);
}

}  // namespace

Status DatabaseImpl::CreateIndex(std::string_view table_name, const IndexDesign& design) {
  JET_RETURN_IF_ERROR(CheckWritable());
  JET_RETURN_IF_ERROR(Load());
  const CatalogEntry* entry = catalog_.FindTableEntry(table_name);
  if (entry == nullptr || !catalog_.IsTable(*entry)) {
    return Status::NotFound("no table named " + std::string(table_name));
  }
  TableDef def;
  TableDefExtras extras;
  JET_RETURN_IF_ERROR(ReadTable(*entry, &def, &extras));
  if (def.is_system) {
    return Status::NotSupported("table " + def.name + " is a system table and is not changed");
  }
  if (extras.pages.size() != 1) {
    return Status::NotSupported("table " + def.name +
                                ": its definition spans several pages; indexes cannot be added");
  }
  IndexDef index;
  JET_RETURN_IF_ERROR(NewIndexFor(format_, def, design, &index));
  TableLayout layout;
  JET_RETURN_IF_ERROR(LayoutWithIndex(file_, format_, def, std::move(index), &layout));
  {  // Refuse a definition too long for a page before anything is written.
    std::string bytes;
    JET_RETURN_IF_ERROR(BuildTableDef(format_, text_, layout, extras.long_value_maps, &bytes));
  }

  Status s = RunChange([&]() -> Status {
    JET_RETURN_IF_ERROR(
        WriteIndexRoot(file_, format_, text_, def, extras.long_value_maps, &layout));
    TableDef now;
    TableDefExtras now_extras;
    JET_RETURN_IF_ERROR(ReadTable(*entry, &now, &now_extras));
    const IndexDef& fresh = now.indexes.back();
    std::string why;
    if (!IndexKeysSupported(now, fresh, format_.version, &why)) {
      return Status::NotSupported("table " + now.name + ": " + why);
    }
    Result<std::unique_ptr<TableCursor>> cursor = Scan(now);
    if (!cursor.ok()) return cursor.status();
    return FillIndex(file_, format_, now, fresh, **cursor);
  });
  if (!s.ok()) return s;
  return Load();
}

}  // namespace jet
