// New databases, tables and indexes; see create.h and database.h.
//
// Database::Create builds the whole new file in memory through an
// image-backed PageFile (the same space, row and index code that changes
// existing files), writes it to a temporary file in the target's folder,
// syncs it, and links it to the target name. link() fails when the name is
// taken, so an existing file is never overwritten, even by a file that
// appears while we build; and since the name only ever points at a synced,
// whole file, a crash leaves either no file or the whole new database (at
// worst a stray temporary, never a torn database). The pager cannot do this
// itself: it opens a database that already has a header page. link() is
// the one call to the OS outside file.cc: file.h has no way to publish a
// file under a name without replacing what is there.
#include "jet/db/create.h"


#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#include "jet/catalog/catalog.h"
#include "jet/base/coding.h"
#include "jet/rows/data_page.h"
#include "jet/db/database_impl.h"
#include "jet/file/file.h"
#include "jet/format/header.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "jet/index/index_tree.h"
#include "jet/names.h"
#include "jet/rows/long_value_writer.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/row_writer.h"
#include "jet/space/space.h"
#include "jet/base/text_encode.h"

namespace jet {

namespace {

// A constant Access writes into every table header and column and logical
// index descriptor (offset 12 of the TDEF, offset 1 of a column, offset 0
// of a logical index), and at the start of every physical index descriptor.
constexpr uint32_t kTableMagic = 0x0659;
constexpr uint32_t kPhysicalIndexMagic = 0x0783;
constexpr uint32_t kMapRowSize = 69;  // inline map row: type, start page, 64-byte bitmap
constexpr uint16_t kGeneralSortOrder = 0x0409;
constexpr uint32_t kTablesContainerId = 0x0F000001;

// Column flags (TDEF column descriptor byte 15) and index flags.
constexpr uint8_t kColumnFixed = 0x01;
constexpr uint8_t kColumnUpdatable = 0x02;
constexpr uint8_t kColumnAutoLong = 0x04;
constexpr uint8_t kIndexUnique = 0x01;
constexpr uint8_t kIndexIgnoreNulls = 0x02;
constexpr uint8_t kIndexRequired = 0x08;
constexpr uint8_t kIndexAlways = 0x80;  // set on every index Access writes

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

uint16_t FixedSize(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean: return 1;  // in the null mask; no fixed bytes
    case ColumnType::kByte: return 1;
    case ColumnType::kInteger: return 2;
    case ColumnType::kLong: case ColumnType::kSingle: return 4;
    case ColumnType::kCurrency: case ColumnType::kDouble: case ColumnType::kDateTime: return 8;
    case ColumnType::kGuid: return 16;
    case ColumnType::kNumeric: return 17;
    default: return 0;
  }
}

bool IsVariable(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kBinary || type == ColumnType::kMemo ||
         type == ColumnType::kOle;
}

void PutName(const std::string& utf8, std::string* out) {
  std::u16string u;
  (void)Utf8ToUtf16(utf8, &u);  // names are checked by LayoutFromDesign
  char len[2];
  WriteU16(reinterpret_cast<uint8_t*>(len), static_cast<uint16_t>(u.size() * 2));
  out->append(len, 2);
  for (char16_t c : u) {
    out->push_back(static_cast<char>(c & 0xFF));
    out->push_back(static_cast<char>(c >> 8));
  }
}

Status CheckName(const std::string& what, const std::string& name) {
  std::u16string u;
  if (name.empty() || name.size() > 64 || !Utf8ToUtf16(name, &u).ok() || u.size() > 64 ||
      name.front() == ' ' || name.find_first_of(".!`[]") != std::string::npos) {
    return Status::InvalidArgument(what + " name " + Quoted(name) +
                                   " is not valid (1 to 64 characters, none of . ! ` [ ], "
                                   "no leading space)");
  }
  return Status::OK();
}

}  // namespace

double OleDateNow() {
  using namespace std::chrono;
  double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return 25569.0 + std::floor(seconds) / 86400.0;
}

Status LayoutFromDesign(const TableDesign& design, TableLayout* layout) {
  JET_RETURN_IF_ERROR(CheckName("table", design.name));
  const std::string table = "table " + design.name;
  if (design.columns.empty() || design.columns.size() > 255) {
    return Status::InvalidArgument(table + ": a table needs 1 to 255 columns, " +
                                   std::to_string(design.columns.size()) + " given");
  }
  layout->name = design.name;
  layout->system = false;
  layout->columns.clear();
  layout->indexes.clear();
  uint16_t var_count = 0;
  uint16_t fixed_end = 0;
  bool autonumber_seen = false;
  for (size_t i = 0; i < design.columns.size(); ++i) {
    const ColumnDesign& s = design.columns[i];
    JET_RETURN_IF_ERROR(CheckName(table + ", column", s.name));
    const std::string where = table + ", column " + s.name;
    for (size_t j = 0; j < i; ++j) {
      if (NamesEqual(design.columns[j].name, s.name)) {
        return Status::InvalidArgument(table + ": column name " + Quoted(s.name) +
                                       " is used twice");
      }
    }
    ColumnDef c;
    c.name = s.name;
    c.type = s.type;
    c.column_number = static_cast<uint16_t>(i);
    c.required = s.required;
    switch (s.type) {
      case ColumnType::kText:
      case ColumnType::kBinary:
        if (s.length < 1 || s.length > 255) {
          return Status::InvalidArgument(where + ": length " + std::to_string(s.length) +
                                         " is out of range (1 to 255)");
        }
        c.length = static_cast<uint16_t>(s.type == ColumnType::kText ? 2 * s.length : s.length);
        break;
      case ColumnType::kNumeric:
        if (s.precision < 1 || s.precision > 28 || s.scale > s.precision) {
          return Status::InvalidArgument(where + ": precision " + std::to_string(s.precision) +
                                         " and scale " + std::to_string(s.scale) +
                                         " are out of range (1 to 28, scale at most precision)");
        }
        c.precision = s.precision;
        c.scale = s.scale;
        c.length = FixedSize(s.type);
        break;
      case ColumnType::kMemo: case ColumnType::kOle:
        c.length = 0;
        break;
      case ColumnType::kBoolean: case ColumnType::kByte: case ColumnType::kInteger:
      case ColumnType::kLong: case ColumnType::kCurrency: case ColumnType::kSingle:
      case ColumnType::kDouble: case ColumnType::kDateTime: case ColumnType::kGuid:
        c.length = FixedSize(s.type);
        break;
      default:
        return Status::InvalidArgument(where + ": unknown column type " +
                                       ColumnTypeName(s.type));
    }
    if (s.type == ColumnType::kText || s.type == ColumnType::kMemo) {
      c.sort_order = kGeneralSortOrder;
      c.sort_version = 0;
    }
    if (IsVariable(s.type)) {
      c.flags = kColumnUpdatable;
      c.var_index = var_count++;
    } else {
      c.flags = kColumnFixed | kColumnUpdatable;
      c.var_index = var_count;  // Access stores the var slot count so far
      if (s.type != ColumnType::kBoolean) {
        c.fixed_offset = fixed_end;
        fixed_end = static_cast<uint16_t>(fixed_end + c.length);
      }
    }
    if (s.autonumber) {
      if (s.type != ColumnType::kLong || autonumber_seen) {
        return Status::InvalidArgument(where + ": only one Long column per table can be an "
                                       "autonumber (COUNTER)");
      }
      autonumber_seen = true;
      c.flags |= kColumnAutoLong;
    }
    layout->columns.push_back(std::move(c));
  }
  layout->max_cols = static_cast<uint16_t>(design.columns.size());
  layout->num_var_cols = var_count;

  bool primary_seen = false;
  for (size_t i = 0; i < design.indexes.size(); ++i) {
    const IndexDesign& s = design.indexes[i];
    JET_RETURN_IF_ERROR(CheckName(table + ", index", s.name));
    for (size_t j = 0; j < i; ++j) {
      if (NamesEqual(design.indexes[j].name, s.name)) {
        return Status::InvalidArgument(table + ": index name " + Quoted(s.name) +
                                       " is used twice");
      }
    }
    if (s.primary_key && primary_seen) {
      return Status::InvalidArgument(table + ", index " + s.name +
                                     ": the table already has a primary key");
    }
    primary_seen = primary_seen || s.primary_key;
    IndexDef index;
    index.name = s.name;
    index.index_number = static_cast<uint32_t>(i);
    index.physical_index = static_cast<uint32_t>(i);
    index.index_type = s.primary_key ? 1 : 0;
    index.flags = kIndexAlways;
    if (s.primary_key) index.flags |= kIndexUnique | kIndexRequired;
    if (s.unique) index.flags |= kIndexUnique;
    if (s.ignore_nulls && !s.primary_key) index.flags |= kIndexIgnoreNulls;
    if (s.columns.empty() || s.columns.size() > 10) {
      return Status::InvalidArgument(table + ", index " + s.name + ": an index needs 1 to 10 "
                                     "columns, " + std::to_string(s.columns.size()) + " given");
    }
    for (const IndexColumnDesign& ic : s.columns) {
      const ColumnDef* column = nullptr;
      for (const ColumnDef& c : layout->columns) {
        if (NamesEqual(c.name, ic.column)) column = &c;
      }
      if (column == nullptr) {
        return Status::InvalidArgument(table + ", index " + s.name + ": no column named " +
                                       Quoted(ic.column));
      }
      if (column->IsLongValue()) {
        return Status::InvalidArgument(table + ", index " + s.name + ": column " +
                                       column->name + " is a " + ColumnTypeName(column->type) +
                                       " column and cannot be indexed");
      }
      for (const IndexColumnDef& seen : index.columns) {
        if (seen.column_number == column->column_number) {
          return Status::InvalidArgument(table + ", index " + s.name + ": column " +
                                         column->name + " is named twice");
        }
      }
      index.columns.push_back({column->column_number, column->name, ic.ascending});
    }
    layout->indexes.push_back(std::move(index));
  }
  return Status::OK();
}

Status BuildTableDef(const TableLayout& layout, const std::vector<LongValueMaps>& long_value_maps,
                     std::string* page) {
  const Format& f = kJet4Format;
  std::string b(f.tdef_header_size, '\0');
  auto* h = reinterpret_cast<uint8_t*>(b.data());
  h[0] = kPageTableDef;
  h[1] = 0x01;
  WriteU32(h + 12, kTableMagic);
  WriteU32(h + f.tdef_row_count_offset, layout.row_count);
  WriteU32(h + f.tdef_autonumber_offset, layout.autonumber_last);
  h[24] = 0x01;  // Access sets it on every table
  h[f.tdef_table_type_offset] = layout.system ? 0x53 : 0x4E;
  WriteU16(h + f.tdef_max_cols_offset, layout.max_cols);
  WriteU16(h + f.tdef_num_var_cols_offset, layout.num_var_cols);
  WriteU16(h + f.tdef_num_cols_offset, static_cast<uint16_t>(layout.columns.size()));
  WriteU32(h + f.tdef_num_idx_offset, static_cast<uint32_t>(layout.indexes.size()));
  WriteU32(h + f.tdef_num_real_idx_offset, static_cast<uint32_t>(layout.indexes.size()));
  WriteU32(h + f.tdef_owned_map_offset, layout.owned_map_pointer);
  WriteU32(h + f.tdef_free_map_offset, layout.free_map_pointer);

  auto put = [&b](size_t size) {
    size_t at = b.size();
    b.append(size, '\0');
    return reinterpret_cast<uint8_t*>(b.data()) + at;
  };
  for (size_t i = 0; i < layout.indexes.size(); ++i) {
    uint8_t* e = put(f.tdef_index_count_entry_size);
    WriteU32(e + 4, i < layout.unique_counts.size() ? layout.unique_counts[i] : 0);
  }
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    const ColumnDef& c = layout.columns[i];
    uint8_t* d = put(f.column_size);
    d[0] = static_cast<uint8_t>(c.type);
    WriteU32(d + 1, kTableMagic);
    WriteU16(d + f.column_number_offset, c.column_number);
    WriteU16(d + f.column_var_index_offset, c.var_index);
    WriteU16(d + 9, layout.system ? 0 : static_cast<uint16_t>(i));  // position (Access: 0 in system tables)
    if (c.type == ColumnType::kNumeric) {
      d[f.column_precision_offset] = c.precision;
      d[f.column_scale_offset] = c.scale;
    } else if (c.type == ColumnType::kText || c.type == ColumnType::kMemo || layout.system) {
      // Access gives every column of its system tables the sort order.
      WriteU16(d + f.column_sort_order_offset, kGeneralSortOrder);
      d[f.column_sort_version_offset] = c.sort_version;
    }
    d[f.column_flags_offset] = c.flags;
    d[f.column_ext_flags_offset] = c.ext_flags;
    WriteU16(d + f.column_fixed_offset_offset, c.fixed_offset);
    WriteU16(d + f.column_length_offset, c.length);
  }
  for (const ColumnDef& c : layout.columns) PutName(c.name, &b);
  std::vector<const IndexDef*> physical;
  for (const IndexDef& index : layout.indexes) physical.push_back(&index);
  std::stable_sort(physical.begin(), physical.end(), [](const IndexDef* a, const IndexDef* b) {
    return a->physical_index < b->physical_index;
  });
  for (const IndexDef* p : physical) {
    const IndexDef& index = *p;
    uint8_t* d = put(f.physical_index_size);
    WriteU32(d, kPhysicalIndexMagic);
    for (size_t k = 0; k < 10; ++k) {
      uint8_t* slot = d + f.physical_index_columns_offset + 3 * k;
      if (k < index.columns.size()) {
        WriteU16(slot, index.columns[k].column_number);
        slot[2] = index.columns[k].ascending ? 0x01 : 0x00;  // 0x01 ascending
      } else {
        WriteU16(slot, 0xFFFF);
      }
    }
    WriteU32(d + f.physical_index_map_offset, index.usage_map_pointer);
    WriteU32(d + f.physical_index_root_offset, index.root_page);
    d[f.physical_index_flags_offset] = index.flags;
  }
  for (const IndexDef& index : layout.indexes) {
    uint8_t* d = put(f.logical_index_size);
    WriteU32(d, kTableMagic);
    WriteU32(d + f.logical_index_number_offset, index.index_number);
    WriteU32(d + f.logical_index_physical_offset, index.physical_index);
    WriteU32(d + 13, 0xFFFFFFFF);  // no related table
    d[21] = layout.logical_extra[0];
    d[22] = layout.logical_extra[1];
    d[f.logical_index_type_offset] = index.index_type;
  }
  for (const IndexDef& index : layout.indexes) PutName(index.name, &b);
  for (const LongValueMaps& m : long_value_maps) {
    uint8_t* d = put(10);
    WriteU16(d, m.column_number);
    WriteU32(d + 2, m.owned_map_pointer);
    WriteU32(d + 6, m.free_map_pointer);
  }
  WriteU16(put(2), 0xFFFF);
  if (b.size() + 8 > f.page_size) {
    return Status::InvalidArgument("table " + layout.name + ": its definition takes " +
                                   std::to_string(b.size()) + " bytes, more than one page (" +
                                   std::to_string(f.page_size - 8) + ")");
  }
  h = reinterpret_cast<uint8_t*>(b.data());
  WriteU32(h + 8, static_cast<uint32_t>(b.size()));
  WriteU16(h + 2, static_cast<uint16_t>(f.page_size - 8 - b.size()));
  b.resize(f.page_size, '\0');
  *page = std::move(b);
  return Status::OK();
}

namespace {

// Adds an empty inline map row (start page 0) to map page `map_page`.
Status AddMapRow(PageFile& file, const Format& format, uint32_t map_page, uint32_t* pointer) {
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(map_page, &page));
  const std::string row(kMapRowSize, '\0');
  if (!RowFits(format, page, kMapRowSize)) {
    return Status::InvalidArgument("usage-map page " + std::to_string(map_page) + " is full");
  }
  uint8_t slot;
  JET_RETURN_IF_ERROR(AddRow(format, page, map_page, row, 0, &slot));
  *pointer = (map_page << 8) | slot;
  return Status::OK();
}

Status NewMapPage(PageFile& file, const Format& format, uint32_t* map_page) {
  JET_RETURN_IF_ERROR(AllocatePage(file, format, map_page));
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(*map_page, &page));
  InitDataPage(format, page, 0);
  return Status::OK();
}

// A new empty leaf root for `index`, listed in a new map row on `map_page`.
Status NewIndexRoot(PageFile& file, const Format& format, uint32_t tdef_page, uint32_t map_page,
                    IndexDef* index) {
  JET_RETURN_IF_ERROR(AddMapRow(file, format, map_page, &index->usage_map_pointer));
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

Status WriteNewTable(PageFile& file, const Format& format, uint32_t tdef_page,
                     TableLayout* layout) {
  // Map rows as Access orders them: owned, free, the long-value columns'
  // maps by column number, then the indexes' maps by physical index.
  uint32_t map_page;
  JET_RETURN_IF_ERROR(NewMapPage(file, format, &map_page));
  JET_RETURN_IF_ERROR(AddMapRow(file, format, map_page, &layout->owned_map_pointer));
  JET_RETURN_IF_ERROR(AddMapRow(file, format, map_page, &layout->free_map_pointer));
  std::vector<const ColumnDef*> by_number;
  for (const ColumnDef& c : layout->columns) {
    if (c.IsLongValue()) by_number.push_back(&c);
  }
  std::sort(by_number.begin(), by_number.end(),
            [](const ColumnDef* a, const ColumnDef* b) { return a->column_number < b->column_number; });
  std::vector<LongValueMaps> maps;
  for (const ColumnDef* c : by_number) {
    LongValueMaps m;
    m.column_number = c->column_number;
    JET_RETURN_IF_ERROR(AddMapRow(file, format, map_page, &m.owned_map_pointer));
    JET_RETURN_IF_ERROR(AddMapRow(file, format, map_page, &m.free_map_pointer));
    maps.push_back(m);
  }
  for (uint32_t physical = 0; physical < layout->indexes.size(); ++physical) {
    for (IndexDef& index : layout->indexes) {
      if (index.physical_index != physical) continue;
      JET_RETURN_IF_ERROR(NewIndexRoot(file, format, tdef_page, map_page, &index));
    }
  }
  // The TDEF lists the long-value maps in its column order.
  std::vector<LongValueMaps> long_value_maps;
  for (const ColumnDef& c : layout->columns) {
    for (const LongValueMaps& m : maps) {
      if (m.column_number == c.column_number) long_value_maps.push_back(m);
    }
  }
  std::string bytes;
  JET_RETURN_IF_ERROR(BuildTableDef(*layout, long_value_maps, &bytes));
  return WriteTdefPage(file, tdef_page, bytes);
}

namespace {

// Inserts one row into a table this engine does not otherwise change (the
// catalog and MSysACEs): the same steps as the table writer's Insert (row,
// maps, index entries, counters), without its refusal of system tables.
// Uniqueness is the caller's concern.
Status InsertSystemRow(PageFile& file, const Format& format, TextDecoder& text,
                       uint32_t tdef_page, const std::vector<std::pair<const char*, Value>>& named) {
  TableDef def;
  TableDefExtras extras;
  JET_RETURN_IF_ERROR(ReadTableDef(file, format, text, tdef_page, &def, &extras));
  std::vector<Value> values(def.columns.size());
  for (const auto& [name, value] : named) {
    const ColumnDef* c = def.FindColumn(name);
    if (c == nullptr) return Status::Corruption("system table at page " + std::to_string(tdef_page) +
                                                " has no column " + name);
    values[static_cast<size_t>(c - def.columns.data())] = value;
  }
  LongValueWriter long_values(file, format, tdef_page, extras.long_value_maps);
  std::vector<FieldInput> fields;
  for (const Value& v : values) fields.push_back(FieldInput::Of(v));
  std::string row;
  JET_RETURN_IF_ERROR(EncodeRow(format, def, fields, &long_values, 0, &row));

  RowId id;
  UsageMap free_map;
  JET_RETURN_IF_ERROR(ReadUsageMap(file, format, def.free_map_pointer, "free-space map", &free_map));
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
    JET_RETURN_IF_ERROR(EncodeIndexKey(def, index, values, &key));
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

// The "Required" property of each NOT NULL column, as a Jet 4 property blob:
//   "MR2\0"; chunk 0x80: the property names; chunk 0x00: the table's own
//   (empty) block; then one chunk 0x01 per column with its records.
//   chunk: u32 length (header included), u16 type, u32 6 + name bytes,
//   u16 name bytes, name (UCS-2), records: u16 length, u8 0, u8 type
//   (1 Boolean), u16 name index, u16 value size, value (0xFF = Yes).
std::string RequiredPropertyBlob(const std::string& table, const std::vector<ColumnDef>& columns) {
  auto chunk = [](uint16_t type, const std::string& body) {
    std::string c(6, '\0');
    WriteU32(reinterpret_cast<uint8_t*>(c.data()), static_cast<uint32_t>(6 + body.size()));
    WriteU16(reinterpret_cast<uint8_t*>(c.data()) + 4, type);
    return c + body;
  };
  auto object = [](const std::string& name) {
    std::string n;
    PutName(name, &n);  // u16 length + UCS-2
    std::string head(4, '\0');
    WriteU32(reinterpret_cast<uint8_t*>(head.data()), static_cast<uint32_t>(4 + n.size()));
    return head + n;
  };
  std::string names;
  PutName("Required", &names);
  std::string blob("MR2\0", 4);
  blob += chunk(0x80, names);
  blob += chunk(0x00, object(table));
  for (const ColumnDef& c : columns) {
    if (!c.required) continue;
    std::string body = object(c.name);
    const uint8_t record[9] = {9, 0, 0, static_cast<uint8_t>(ColumnType::kBoolean), 0, 0, 1, 0, 0xFF};
    body.append(reinterpret_cast<const char*>(record), sizeof(record));
    blob += chunk(0x01, body);
  }
  return blob;
}

// Owner SIDs Access writes: the engine's own objects, and the database object.
const char kOwnerEngine[] = "\x06\xEA";
const char kOwnerDatabase[] = "\x07\xE8";

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

// ---- The four system tables, as facts from an empty database Access made ----

struct SystemColumn {
  const char* name;
  uint8_t type;
  uint16_t number;
  uint16_t var_index;
  uint8_t flags;
  uint16_t fixed_offset;
  uint16_t length;
};
struct SystemIndex {
  const char* name;
  uint8_t type;   // 1 primary key
  uint8_t flags;
  std::vector<uint16_t> columns;  // column numbers, all ascending
};
struct SystemTable {
  const char* name;
  uint16_t max_cols;
  uint16_t num_var_cols;
  std::vector<SystemColumn> columns;  // in Access's TDEF order (by name)
  std::vector<SystemIndex> indexes;   // in Access's logical order
  std::vector<int> physical_of;       // physical index of each logical index
};

const std::vector<SystemTable>& SystemTables() {
  static const std::vector<SystemTable> tables = {
      {"MSysObjects", 17, 11,
       {{"Connect", 0x0C, 9, 3, 0x12, 0, 0},      {"Database", 0x0C, 8, 2, 0x12, 0, 0},
        {"DateCreate", 0x08, 4, 1, 0x13, 10, 8},  {"DateUpdate", 0x08, 5, 1, 0x13, 18, 8},
        {"Flags", 0x04, 7, 2, 0x13, 26, 4},       {"ForeignName", 0x0A, 10, 4, 0x12, 0, 510},
        {"Id", 0x04, 0, 0, 0x13, 0, 4},           {"Lv", 0x0B, 13, 7, 0x12, 0, 0},
        {"LvExtra", 0x0B, 16, 10, 0x12, 0, 0},    {"LvModule", 0x0B, 15, 9, 0x12, 0, 0},
        {"LvProp", 0x0B, 14, 8, 0x12, 0, 0},      {"Name", 0x0A, 2, 0, 0x12, 0, 510},
        {"Owner", 0x09, 6, 1, 0x32, 0, 510},      {"ParentId", 0x04, 1, 0, 0x13, 4, 4},
        {"RmtInfoLong", 0x0B, 12, 6, 0x12, 0, 0}, {"RmtInfoShort", 0x09, 11, 5, 0x12, 0, 510},
        {"Type", 0x03, 3, 1, 0x13, 8, 2}},
       {{"Id", 1, 0x81, {0}}, {"ParentIdName", 0, 0x81, {1, 2}}},
       {1, 0}},
      {"MSysACEs", 4, 1,
       {{"ACM", 0x04, 2, 1, 0x13, 4, 4},
        {"FInheritable", 0x01, 3, 1, 0x13, 0, 1},
        {"ObjectId", 0x04, 0, 0, 0x13, 0, 4},
        {"SID", 0x09, 1, 0, 0x32, 0, 510}},
       {{"ObjectId", 0, 0x88, {0}}},
       {0}},
      {"MSysQueries", 8, 4,
       {{"Attribute", 0x02, 1, 0, 0x13, 4, 1}, {"Expression", 0x0C, 5, 3, 0x12, 0, 0},
        {"Flag", 0x03, 6, 4, 0x13, 5, 2},      {"LvExtra", 0x04, 7, 4, 0x13, 7, 4},
        {"Name1", 0x0A, 3, 1, 0x12, 0, 510},   {"Name2", 0x0A, 4, 2, 0x12, 0, 510},
        {"ObjectId", 0x04, 0, 0, 0x13, 0, 4},  {"Order", 0x09, 2, 0, 0x12, 0, 510}},
       {{"ObjectIdAttribute", 1, 0x81, {0, 1, 2}}},
       {0}},
      {"MSysRelationships", 8, 5,
       {{"ccolumn", 0x04, 2, 1, 0x13, 4, 4},
        {"grbit", 0x04, 1, 1, 0x13, 0, 4},
        {"icolumn", 0x04, 3, 1, 0x13, 8, 4},
        {"szColumn", 0x0A, 5, 2, 0x12, 0, 510},
        {"szObject", 0x0A, 4, 1, 0x12, 0, 510},
        {"szReferencedColumn", 0x0A, 7, 4, 0x12, 0, 510},
        {"szReferencedObject", 0x0A, 6, 3, 0x12, 0, 510},
        {"szRelationship", 0x0A, 0, 0, 0x12, 0, 510}},
       {{"szObject", 0, 0x82, {4}}, {"szReferencedObject", 0, 0x82, {6}},
        {"szRelationship", 0, 0x82, {0}}},
       {1, 2, 0}},
  };
  return tables;
}

// MSysACEs rows of a new database: object, SID, rights, inheritable.
struct AceRow {
  uint32_t object;
  const char* sid;
  uint32_t acm;
  bool inheritable;
};
const AceRow kAceRows[] = {
    {2, "\x07\xE8", 393216, false},          {3, "\x07\xE8", 393216, false},
    {4, "\x07\xE8", 393216, false},          {5, "\x07\xE8", 917504, false},
    {0x0F000001, "\x06\xED", 983294, true},  {0x0F000001, "\x07\xE8", 393217, false},
    {0x0F000003, "\x06\xED", 983294, true},  {0x0F000003, "\x07\xE8", 393217, false},
    {0x0F000002, "\x07\xE8", 393216, false}, {0x10000000, "\x07\xE8", 393230, false},
    {0x10000000, "\x06\xE8", 14, false},     {4, "\x06\xE8", 20, false},
    {5, "\x06\xE8", 20, false},              {2, "\x06\xE8", 20, false},
    {0x0F000001, "\x06\xE8", 1048319, true}, {0x0F000003, "\x06\xE8", 1048575, true},
};

TableLayout SystemLayout(const SystemTable& t) {
  TableLayout layout;
  layout.name = t.name;
  layout.system = true;
  layout.max_cols = t.max_cols;
  layout.num_var_cols = t.num_var_cols;
  layout.logical_extra[0] = 0x04;  // as Access writes them on system indexes
  layout.logical_extra[1] = 0x04;
  for (const SystemColumn& s : t.columns) {
    ColumnDef c;
    c.name = s.name;
    c.type = static_cast<ColumnType>(s.type);
    c.column_number = s.number;
    c.var_index = s.var_index;
    c.flags = s.flags;
    c.fixed_offset = s.fixed_offset;
    c.length = s.length;
    layout.columns.push_back(c);
  }
  // Logical indexes in Access's order; logical i is physical physical_of[i].
  layout.indexes.resize(t.indexes.size());
  for (size_t i = 0; i < t.indexes.size(); ++i) {
    const SystemIndex& s = t.indexes[i];
    IndexDef& index = layout.indexes[i];
    index.name = s.name;
    index.index_number = static_cast<uint32_t>(t.physical_of[i]);
    index.physical_index = static_cast<uint32_t>(t.physical_of[i]);
    index.index_type = s.type;
    index.flags = s.flags;
    for (uint16_t n : s.columns) index.columns.push_back({n, "", true});
  }
  return layout;
}

// Page 0: signature, then the region masked with the header keystream.
std::string HeaderPage(double creation_date) {
  std::string page(kJet4Format.page_size, '\0');
  auto* p = reinterpret_cast<uint8_t*>(page.data());
  WriteU32(p + kHeaderMagicOffset, 0x00000100);
  std::memcpy(p + kHeaderEngineOffset, "Standard Jet DB", 16);
  WriteU32(p + kHeaderVersionOffset, 1);
  // Constant bytes of the clear region as Access writes them.
  const uint8_t start[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00,
                           0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
                           0x05, 0x00, 0x00, 0x00};
  std::memcpy(p + kHeaderMaskStart, start, sizeof(start));
  WriteU16(p + kHeaderCodePageOffset, 1252);
  // The empty password, XORed with the integer part of the creation date.
  uint8_t key[4];
  WriteU32(key, static_cast<uint32_t>(static_cast<int32_t>(creation_date)));
  for (uint32_t i = 0; i < kJet4PasswordSize; ++i) p[kHeaderPasswordOffset + i] = key[i % 4];
  p[0x6A] = 0xA6;  // unknown, constant in Access's empty databases
  p[0x6B] = 0x11;
  WriteU16(p + kJet4HeaderSortOrderOffset, kGeneralSortOrder);
  std::memcpy(p + kJet4HeaderCreationDateOffset, &creation_date, 8);
  const auto& mask = HeaderMask();
  for (uint32_t i = 0; i < kJet4HeaderMaskSize; ++i) p[kHeaderMaskStart + i] ^= mask[i];
  // After the masked region: an unknown 0x0654 and the engine version "4.0".
  WriteU32(p + 0x98, 0x0654);
  std::memcpy(p + 0x9C, "4.0", 3);
  // 0xE00..: a table of 0x0100 words that Access fills in, 01 01 first.
  for (uint32_t at = 0xE00; at < kJet4Format.page_size; at += 2) WriteU16(p + at, 0x0100);
  p[0xE00] = 0x01;
  return page;
}

// Page 1: the global page map (row 0, inline: bit set = page free) and an
// empty second row, as Access writes it.
std::string GlobalMapPage(uint32_t used_pages) {
  std::string page(kJet4Format.page_size, '\0');
  auto* p = reinterpret_cast<uint8_t*>(page.data());
  InitDataPage(kJet4Format, p, 1);  // Access writes 1 as this page's owner
  std::string row(kMapRowSize, '\0');
  for (uint32_t n = used_pages; n < (kMapRowSize - 5) * 8; ++n) {
    row[5 + n / 8] = static_cast<char>(row[5 + n / 8] | (1 << (n % 8)));
  }
  uint8_t slot;
  (void)AddRow(kJet4Format, p, 1, row, 0, &slot);
  (void)AddRow(kJet4Format, p, 1, std::string(kMapRowSize, '\0'), 0, &slot);
  return page;
}

Status BuildEmptyDatabase(double date, std::string* image) {
  const Format& f = kJet4Format;
  PageFile file(HeaderPage(date) + GlobalMapPage(2));
  JET_RETURN_IF_ERROR(file.SetPageSize(f.page_size));
  JET_RETURN_IF_ERROR(file.BeginUnit());
  Status s = [&]() -> Status {
    const auto& tables = SystemTables();
    for (size_t i = 0; i < tables.size(); ++i) {
      uint32_t page;
      JET_RETURN_IF_ERROR(AllocatePage(file, f, &page));
      if (page != kCatalogTableDefPage + i) {
        return Status::Corruption("system table " + std::string(tables[i].name) + " landed on page " +
                                  std::to_string(page));
      }
    }
    for (size_t i = 0; i < tables.size(); ++i) {
      TableLayout layout = SystemLayout(tables[i]);
      JET_RETURN_IF_ERROR(
          WriteNewTable(file, f, static_cast<uint32_t>(kCatalogTableDefPage + i), &layout));
    }
    TextDecoder text(1252);
    const uint32_t root = 0x0F000000;
    const char* containers[] = {"Tables", "Databases", "Relationships"};
    for (uint32_t i = 0; i < 3; ++i) {
      JET_RETURN_IF_ERROR(InsertCatalogRow(file, f, text, root + 1 + i, root, containers[i], 3,
                                           date, kOwnerEngine, 0x80000000, {}));
    }
    JET_RETURN_IF_ERROR(InsertCatalogRow(file, f, text, 0x10000000, root + 2, "MSysDb", 2, date,
                                         kOwnerDatabase, 0x80000000, {}));
    for (size_t i = 0; i < tables.size(); ++i) {
      JET_RETURN_IF_ERROR(InsertCatalogRow(file, f, text,
                                           static_cast<uint32_t>(kCatalogTableDefPage + i),
                                           kTablesContainerId, tables[i].name, kObjectTable, date,
                                           kOwnerEngine, 0x80000000, {}));
    }
    for (const AceRow& ace : kAceRows) {
      JET_RETURN_IF_ERROR(InsertSystemRow(
          file, f, text, kCatalogTableDefPage + 1,
          {{"ObjectId", Value::Integer(Value::Kind::kLong, static_cast<int32_t>(ace.object))},
           {"SID", Value::Bytes(Value::Kind::kBinary, std::string_view(ace.sid, 2))},
           {"ACM", Value::Integer(Value::Kind::kLong, static_cast<int32_t>(ace.acm))},
           {"FInheritable", Value::Boolean(ace.inheritable)}}));
    }
    return Status::OK();
  }();
  if (!s.ok()) {
    file.RollbackUnit();
    return Status::Corruption("building the empty database: " + s.message());
  }
  JET_RETURN_IF_ERROR(file.CommitUnit());
  *image = file.Image();
  return Status::OK();
}

// Writes `image` to a temporary file beside `path`, syncs it and moves it
// to `path` (refused when the name is taken).
Status PublishFile(const std::string& path, const std::string& image) {
  std::random_device random;
  const std::string temp = path + ".creating-" + std::to_string(random());
  {
    Result<std::unique_ptr<OsFile>> out = OsFile::Open(temp, OsFile::Mode::kCreate);
    if (!out.ok()) return out.status();
    Status s = (*out)->WriteAt(0, image.data(), image.size());
    if (s.ok()) s = (*out)->Sync();
    if (!s.ok()) {
      (void)RemoveFile(temp);
      return s;
    }
  }
  Status s = PublishNew(temp, path);
  if (!s.ok()) (void)RemoveFile(temp);
  return s;
}

}  // namespace

Result<std::unique_ptr<Database>> Database::Create(const std::string& path,
                                                   const CreateOptions& options) {
  if (FileExists(path)) {
    return Status::InvalidArgument("cannot create " + path + ": the file already exists");
  }
  const double date = options.creation_date != 0 ? options.creation_date : OleDateNow();
  std::string image;
  JET_RETURN_IF_ERROR(BuildEmptyDatabase(date, &image));
  JET_RETURN_IF_ERROR(PublishFile(path, image));
  OpenOptions open = options.open;
  open.read_only = false;
  return Open(path, open);
}

// ---- Tables and indexes of an open database ----

// Both read the catalog afresh: a unit rolled back since the last read may
// have taken tables away (Rollback does not reread it).
Status DatabaseImpl::CreateTable(const TableDesign& design) {
  JET_RETURN_IF_ERROR(CheckWritable());
  JET_RETURN_IF_ERROR(Load());
  TableLayout layout;
  JET_RETURN_IF_ERROR(LayoutFromDesign(design, &layout));
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
    JET_RETURN_IF_ERROR(BuildTableDef(layout, maps, &bytes));
  }
  const std::string blob = std::any_of(layout.columns.begin(), layout.columns.end(),
                                       [](const ColumnDef& c) { return c.required; })
                               ? RequiredPropertyBlob(design.name, layout.columns)
                               : std::string();
  Status s = RunChange([&]() -> Status {
    uint32_t tdef_page;
    JET_RETURN_IF_ERROR(AllocatePage(file_, format_, &tdef_page));
    JET_RETURN_IF_ERROR(WriteNewTable(file_, format_, tdef_page, &layout));
    return InsertCatalogRow(file_, format_, text_, tdef_page, catalog_.tables_container_id,
                            design.name, kObjectTable, OleDateNow(), kOwnerEngine, 0, blob);
  });
  if (!s.ok()) return s;
  return Load();
}

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
  // Lay the new index out against the table's columns, then check its name.
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
  JET_RETURN_IF_ERROR(LayoutFromDesign(probe, &checked));
  IndexDef index = checked.indexes[0];
  for (IndexColumnDef& ic : index.columns) {
    ic.column_number = def.columns[ic.column_number].column_number;
  }
  for (const IndexDef& other : def.indexes) {
    if (other.IsForeignKey()) {  // its relationship fields are not kept by a rewrite
      return Status::NotSupported("table " + def.name + ": indexes cannot be added yet to a table "
                                  "in a relationship (index " + other.name + ")");
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
  for (const IndexColumnDef& ic : index.columns) {
    for (const ColumnDef& c : def.columns) {
      if (c.column_number == ic.column_number && c.IsLongValue()) {
        return Status::InvalidArgument("table " + def.name + ", index " + design.name +
                                       ": column " + c.name + " is a " + ColumnTypeName(c.type) +
                                       " column and cannot be indexed");
      }
    }
  }
  // The new layout: the stored fields of every column and index, kept.
  TableLayout layout;
  layout.name = def.name;
  layout.columns = def.columns;
  layout.max_cols = def.max_cols;
  layout.num_var_cols = def.num_var_cols;
  layout.row_count = def.row_count;
  layout.autonumber_last = def.autonumber_last;
  layout.owned_map_pointer = def.owned_map_pointer;
  layout.free_map_pointer = def.free_map_pointer;
  const uint8_t* tdef;
  JET_RETURN_IF_ERROR(file_.GetPage(def.tdef_page, "table definition", &tdef));
  uint32_t physical_count = 0;
  for (const IndexDef& i : def.indexes) physical_count = std::max(physical_count, i.physical_index + 1);
  layout.indexes = def.indexes;
  if (physical_count != def.indexes.size()) {
    return Status::NotSupported("table " + def.name +
                                ": indexes sharing their entries cannot be rewritten yet");
  }
  for (uint32_t k = 0; k < physical_count; ++k) {
    layout.unique_counts.push_back(ReadU32(tdef + kJet4Format.tdef_header_size + 12 * k + 4));
  }
  index.index_number = physical_count;
  index.physical_index = physical_count;
  layout.indexes.push_back(index);
  layout.unique_counts.push_back(0);
  {
    std::string bytes;
    JET_RETURN_IF_ERROR(BuildTableDef(layout, extras.long_value_maps, &bytes));
  }

  Status s = RunChange([&]() -> Status {
    IndexDef& added = layout.indexes.back();
    uint32_t map_page = RowPointerPage(def.owned_map_pointer);
    const uint8_t* page;
    JET_RETURN_IF_ERROR(file_.GetPage(map_page, "usage map", &page));
    if (page[0] != kPageData || !RowFits(format_, page, kMapRowSize)) {
      JET_RETURN_IF_ERROR(NewMapPage(file_, format_, &map_page));
    }
    JET_RETURN_IF_ERROR(NewIndexRoot(file_, format_, def.tdef_page, map_page, &added));
    std::string bytes;
    JET_RETURN_IF_ERROR(BuildTableDef(layout, extras.long_value_maps, &bytes));
    JET_RETURN_IF_ERROR(WriteTdefPage(file_, def.tdef_page, bytes));

    TableDef now;
    TableDefExtras now_extras;
    JET_RETURN_IF_ERROR(ReadTable(*entry, &now, &now_extras));
    const IndexDef* fresh = &now.indexes.back();
    std::string why;
    if (!IndexSupportedForWrite(now, *fresh, &why)) {
      return Status::NotSupported("table " + now.name + ": " + why);
    }
    IndexTree tree(file_, format_, now, *fresh);
    Result<std::unique_ptr<TableCursor>> cursor = Scan(now);
    if (!cursor.ok()) return cursor.status();
    Row row;
    Status scan;
    uint32_t unique = 0;
    while ((*cursor)->Next(&row, &scan)) {
      if (fresh->IsPrimaryKey() || fresh->IsRequired()) {
        for (const IndexColumnDef& ic : fresh->columns) {
          for (size_t i = 0; i < now.columns.size(); ++i) {
            if (now.columns[i].column_number == ic.column_number && row.values[i].is_null() &&
                now.columns[i].type != ColumnType::kBoolean) {
              return Status::Constraint("table " + now.name + ", index " + fresh->name +
                                        ": column " + now.columns[i].name +
                                        " is Null in a row, so it cannot be in this index");
            }
          }
        }
      }
      const bool all_null = IndexColumnsAllNull(now, *fresh, row.values);
      if (fresh->IgnoresNulls() && all_null) continue;
      std::string key;
      JET_RETURN_IF_ERROR(EncodeIndexKey(now, *fresh, row.values, &key));
      bool new_key = false;
      JET_RETURN_IF_ERROR(tree.Insert(key, RowId{row.page, row.slot}, &new_key));
      if (!new_key && fresh->IsUnique() && !all_null) {
        return Status::Constraint("table " + now.name + ", index " + fresh->name +
                                  ": the rows hold duplicate keys, so the index cannot be unique");
      }
      if (new_key) ++unique;
    }
    if (!scan.ok()) return scan;
    return AddToUniqueEntryCount(file_, format_, def.tdef_page, fresh->physical_index, unique);
  });
  if (!s.ok()) return s;
  return Load();
}

}  // namespace jet
