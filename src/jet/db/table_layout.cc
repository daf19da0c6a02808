// A new table's stored layout and its TDEF page; see create.h.
#include <algorithm>

#include "jet/base/coding.h"
#include "jet/base/text_encode.h"
#include "jet/db/create.h"
#include "jet/index/text_key.h"
#include "jet/names.h"

namespace jet {

namespace {

// A constant Access writes into every table header and column and logical
// index descriptor (offset 12 of the TDEF, offset 1 of a column, offset 0
// of a logical index), and at the start of every physical index descriptor.
constexpr uint32_t kTableMagic = 0x0659;
constexpr uint32_t kPhysicalIndexMagic = 0x0783;

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
    case ColumnType::kLong:
    case ColumnType::kSingle: return 4;
    case ColumnType::kCurrency:
    case ColumnType::kDouble:
    case ColumnType::kDateTime: return 8;
    case ColumnType::kGuid: return 16;
    case ColumnType::kNumeric: return 17;
    default: return 0;
  }
}

bool IsVariable(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kBinary || type == ColumnType::kMemo ||
         type == ColumnType::kOle;
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

Status EncodeJet3Name(TextDecoder& text, const std::string& what, const std::string& name,
                      std::string* bytes) {
  Status s = text.EncodeCodePageText(0, name, bytes);
  if (!s.ok()) return Status::InvalidArgument(what + " name " + Quoted(name) + ": " + s.message());
  return Status::OK();
}

namespace {

// Where the next column goes: the var slots and fixed bytes taken so far.
struct ColumnPlacement {
  uint16_t var_count = 0;
  uint16_t fixed_end = 0;
  bool autonumber_seen = false;
};

// The stored length of a column of the design's type (Text: two bytes a
// character), precision and scale for Numeric; refuses sizes out of range.
// Jet 3 text is one byte a character, in the database's code page.
Status SetStoredSize(const Format& format, const ColumnDesign& s, const std::string& where,
                     ColumnDef* c) {
  switch (s.type) {
    case ColumnType::kText:
    case ColumnType::kBinary:
      if (s.length < 1 || s.length > 255) {
        return Status::InvalidArgument(where + ": length " + std::to_string(s.length) +
                                       " is out of range (1 to 255)");
      }
      c->length = static_cast<uint16_t>(
          s.type == ColumnType::kText && !format.IsJet3() ? 2 * s.length : s.length);
      return Status::OK();
    case ColumnType::kNumeric:
      if (format.IsJet3()) {
        return Status::InvalidArgument(where + ": Access 97 databases have no Decimal columns");
      }
      if (s.precision < 1 || s.precision > 28 || s.scale > s.precision) {
        return Status::InvalidArgument(where + ": precision " + std::to_string(s.precision) +
                                       " and scale " + std::to_string(s.scale) +
                                       " are out of range (1 to 28, scale at most precision)");
      }
      c->precision = s.precision;
      c->scale = s.scale;
      c->length = FixedSize(s.type);
      return Status::OK();
    case ColumnType::kMemo:
    case ColumnType::kOle: c->length = 0; return Status::OK();
    case ColumnType::kBoolean:
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
    case ColumnType::kCurrency:
    case ColumnType::kSingle:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
    case ColumnType::kGuid: c->length = FixedSize(s.type); return Status::OK();
    default:
      return Status::InvalidArgument(where + ": unknown column type " + ColumnTypeName(s.type));
  }
}

// Column `i` of the design: its number in the order given, its var slot or
// fixed offset after the columns before it, Access's flags.
Status LayOutColumn(const Format& format, const TableDesign& design, size_t i,
                    ColumnPlacement* placement, ColumnDef* c) {
  const std::string table = "table " + design.name;
  const ColumnDesign& s = design.columns[i];
  JET_RETURN_IF_ERROR(CheckName(table + ", column", s.name));
  const std::string where = table + ", column " + s.name;
  for (size_t j = 0; j < i; ++j) {
    if (NamesEqual(design.columns[j].name, s.name)) {
      return Status::InvalidArgument(table + ": column name " + Quoted(s.name) + " is used twice");
    }
  }
  c->name = s.name;
  c->type = s.type;
  c->column_number = static_cast<uint16_t>(i);
  c->position = static_cast<uint16_t>(i);
  c->required = s.required;
  JET_RETURN_IF_ERROR(SetStoredSize(format, s, where, c));
  if (s.type == ColumnType::kText || s.type == ColumnType::kMemo) {
    c->sort_order = kGeneralSortOrder;
    c->sort_version = 0;
  }
  if (IsVariable(s.type)) {
    c->flags = kColumnUpdatable;
    c->var_index = placement->var_count++;
  } else {
    c->flags = kColumnFixed | kColumnUpdatable;
    c->var_index = placement->var_count;  // Access stores the var slot count so far
    if (s.type != ColumnType::kBoolean) {
      c->fixed_offset = placement->fixed_end;
      placement->fixed_end = static_cast<uint16_t>(placement->fixed_end + c->length);
    }
  }
  if (s.autonumber) {
    if (s.type != ColumnType::kLong || placement->autonumber_seen) {
      return Status::InvalidArgument(where +
                                     ": only one Long column per table can be an "
                                     "autonumber (COUNTER)");
    }
    placement->autonumber_seen = true;
    c->flags |= kColumnAutoLong;
  }
  return Status::OK();
}

// Index `i` of the design over the columns laid out: its number in the
// order given, Access's flags, its columns by name.
Status LayOutIndex(const Format& format, const TableDesign& design, size_t i,
                   const std::vector<ColumnDef>& columns, bool* primary_seen, IndexDef* index) {
  const std::string table = "table " + design.name;
  const IndexDesign& s = design.indexes[i];
  JET_RETURN_IF_ERROR(CheckName(table + ", index", s.name));
  for (size_t j = 0; j < i; ++j) {
    if (NamesEqual(design.indexes[j].name, s.name)) {
      return Status::InvalidArgument(table + ": index name " + Quoted(s.name) + " is used twice");
    }
  }
  if (s.primary_key && *primary_seen) {
    return Status::InvalidArgument(table + ", index " + s.name +
                                   ": the table already has a primary key");
  }
  *primary_seen = *primary_seen || s.primary_key;
  index->name = s.name;
  index->index_number = static_cast<uint32_t>(i);
  index->physical_index = static_cast<uint32_t>(i);
  index->index_type = s.primary_key ? 1 : 0;
  index->flags = format.IsJet3() ? 0 : kIndexAlways;
  if (s.primary_key) index->flags |= kIndexUnique | kIndexRequired;
  if (s.unique) index->flags |= kIndexUnique;
  if (s.ignore_nulls && !s.primary_key) index->flags |= kIndexIgnoreNulls;
  if (s.columns.empty() || s.columns.size() > 10) {
    return Status::InvalidArgument(table + ", index " + s.name +
                                   ": an index needs 1 to 10 "
                                   "columns, " +
                                   std::to_string(s.columns.size()) + " given");
  }
  for (const IndexColumnDesign& ic : s.columns) {
    const ColumnDef* column = nullptr;
    for (const ColumnDef& c : columns) {
      if (NamesEqual(c.name, ic.column)) column = &c;
    }
    if (column == nullptr) {
      return Status::InvalidArgument(table + ", index " + s.name + ": no column named " +
                                     Quoted(ic.column));
    }
    if (column->IsLongValue()) {
      return Status::InvalidArgument(table + ", index " + s.name + ": column " + column->name +
                                     " is a " + ColumnTypeName(column->type) +
                                     " column and cannot be indexed");
    }
    for (const IndexColumnDef& seen : index->columns) {
      if (seen.column_number == column->column_number) {
        return Status::InvalidArgument(table + ", index " + s.name + ": column " + column->name +
                                       " is named twice");
      }
    }
    index->columns.push_back({column->column_number, column->name, ic.ascending});
  }
  return Status::OK();
}

}  // namespace

Status LayoutFromDesign(const Format& format, const TableDesign& design, TableLayout* layout) {
  JET_RETURN_IF_ERROR(CheckName("table", design.name));
  if (design.columns.empty() || design.columns.size() > 255) {
    return Status::InvalidArgument("table " + design.name + ": a table needs 1 to 255 columns, " +
                                   std::to_string(design.columns.size()) + " given");
  }
  layout->name = design.name;
  layout->system = false;
  layout->columns.clear();
  layout->indexes.clear();
  ColumnPlacement placement;
  for (size_t i = 0; i < design.columns.size(); ++i) {
    ColumnDef c;
    JET_RETURN_IF_ERROR(LayOutColumn(format, design, i, &placement, &c));
    layout->columns.push_back(std::move(c));
  }
  layout->max_cols = static_cast<uint16_t>(design.columns.size());
  layout->num_var_cols = placement.var_count;
  if (format.IsJet3()) {  // Access 97 writes 04 04 into every logical index
    layout->logical_extra[0] = 0x04;
    layout->logical_extra[1] = 0x04;
  }
  bool primary_seen = false;
  for (size_t i = 0; i < design.indexes.size(); ++i) {
    IndexDef index;
    JET_RETURN_IF_ERROR(LayOutIndex(format, design, i, layout->columns, &primary_seen, &index));
    layout->indexes.push_back(std::move(index));
  }
  return Status::OK();
}

namespace {

// A definition being built: appends zeroed fields and names.
class DefinitionBuffer {
 public:
  DefinitionBuffer(const Format& format, TextDecoder& text) : format_(format), text_(text) {}

  uint8_t* Put(size_t size) {
    const size_t at = bytes_.size();
    bytes_.append(size, '\0');
    return reinterpret_cast<uint8_t*>(bytes_.data()) + at;
  }

  // Jet 4: u16 byte length and UCS-2. Jet 3: one length byte and the
  // database's code page.
  Status PutObjectName(const std::string& what, const std::string& name) {
    if (!format_.IsJet3()) {
      PutName(name, &bytes_);
      return Status::OK();
    }
    std::string encoded;
    JET_RETURN_IF_ERROR(EncodeJet3Name(text_, what, name, &encoded));
    bytes_.push_back(static_cast<char>(encoded.size()));
    bytes_ += encoded;
    return Status::OK();
  }

  std::string& bytes() { return bytes_; }

 private:
  const Format& format_;
  TextDecoder& text_;
  std::string bytes_;
};

// The table header (page header included), before the blocks that follow.
void PutTableHeader(const Format& f, const TableLayout& layout, uint8_t* h) {
  h[0] = kPageTableDef;
  h[1] = 0x01;
  if (f.IsJet3()) {
    h[2] = 'V';  // Jet 3 keeps "VC" where Jet 4 keeps the free space
    h[3] = 'C';
  } else {
    WriteU32(h + 12, kTableMagic);
    h[24] = 0x01;  // Access sets it on every table
  }
  WriteU32(h + f.tdef_row_count_offset, layout.row_count);
  WriteU32(h + f.tdef_autonumber_offset, layout.autonumber_last);
  h[f.tdef_table_type_offset] = layout.system ? 0x53 : 0x4E;
  WriteU16(h + f.tdef_max_cols_offset, layout.max_cols);
  WriteU16(h + f.tdef_num_var_cols_offset, layout.num_var_cols);
  WriteU16(h + f.tdef_num_cols_offset, static_cast<uint16_t>(layout.columns.size()));
  WriteU32(h + f.tdef_num_idx_offset, static_cast<uint32_t>(layout.indexes.size()));
  WriteU32(h + f.tdef_num_real_idx_offset, static_cast<uint32_t>(layout.indexes.size()));
  WriteU32(h + f.tdef_owned_map_offset, layout.owned_map_pointer);
  WriteU32(h + f.tdef_free_map_offset, layout.free_map_pointer);
}

// Column descriptor `i`. Jet 3: u16 1 at 7, and every column gets the sort
// order and the database's code page. Jet 4: the 0x659 constant at 1; text
// and memo columns (every column of a system table) get the sort order.
void PutColumn(const Format& f, const TableLayout& layout, size_t i, uint16_t code_page,
               uint8_t* d) {
  const ColumnDef& c = layout.columns[i];
  d[0] = static_cast<uint8_t>(c.type);
  WriteU16(d + f.column_number_offset, c.column_number);
  WriteU16(d + f.column_var_index_offset, c.var_index);
  WriteU16(d + f.column_position_offset, c.position);
  if (f.IsJet3()) {
    WriteU16(d + 7, 1);
    WriteU16(d + f.column_sort_order_offset, c.sort_order != 0 ? c.sort_order : kGeneralSortOrder);
    WriteU16(d + f.column_code_page_offset, c.code_page != 0 ? c.code_page : code_page);
  } else {
    WriteU32(d + 1, kTableMagic);
    if (c.type == ColumnType::kNumeric) {
      d[f.column_precision_offset] = c.precision;
      d[f.column_scale_offset] = c.scale;
    } else if (c.type == ColumnType::kText || c.type == ColumnType::kMemo || layout.system) {
      WriteU16(d + f.column_sort_order_offset, kGeneralSortOrder);
      d[f.column_sort_version_offset] = c.sort_version;
    }
    d[f.column_ext_flags_offset] = c.ext_flags;
  }
  d[f.column_flags_offset] = c.flags;
  WriteU16(d + f.column_fixed_offset_offset, c.fixed_offset);
  WriteU16(d + f.column_length_offset, c.length);
}

void PutPhysicalIndex(const Format& f, const IndexDef& index, uint8_t* d) {
  if (!f.IsJet3()) WriteU32(d, kPhysicalIndexMagic);
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

// index number, physical index, no related table (-1), two bytes Access
// writes, the index type.
void PutLogicalIndex(const Format& f, const TableLayout& layout, const IndexDef& index,
                     uint8_t* d) {
  const uint32_t base = f.IsJet3() ? 0 : 4;  // Jet 4 starts with the 0x659 constant
  if (!f.IsJet3()) WriteU32(d, kTableMagic);
  WriteU32(d + f.logical_index_number_offset, index.index_number);
  WriteU32(d + f.logical_index_physical_offset, index.physical_index);
  WriteU32(d + base + 9, 0xFFFFFFFF);
  d[base + 17] = layout.logical_extra[0];
  d[base + 18] = layout.logical_extra[1];
  d[f.logical_index_type_offset] = index.index_type;
}

}  // namespace

Status BuildTableDef(const Format& f, TextDecoder& text, const TableLayout& layout,
                     const std::vector<LongValueMaps>& long_value_maps, std::string* page) {
  DefinitionBuffer b(f, text);
  b.Put(f.tdef_header_size);
  for (size_t i = 0; i < layout.indexes.size(); ++i) {
    uint8_t* e = b.Put(f.tdef_index_count_entry_size);
    WriteU32(e + 4, i < layout.unique_counts.size() ? layout.unique_counts[i] : 0);
  }
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    PutColumn(f, layout, i, text.database_code_page(), b.Put(f.column_size));
  }
  const std::string table = "table " + layout.name;
  if (f.IsJet3()) {  // the catalog row keeps the table's name in the code page too
    std::string unused;
    JET_RETURN_IF_ERROR(EncodeJet3Name(text, "table", layout.name, &unused));
  }
  for (const ColumnDef& c : layout.columns) {
    JET_RETURN_IF_ERROR(b.PutObjectName(table + ", column", c.name));
  }
  std::vector<const IndexDef*> physical;
  for (const IndexDef& index : layout.indexes) physical.push_back(&index);
  std::stable_sort(physical.begin(), physical.end(), [](const IndexDef* a, const IndexDef* b) {
    return a->physical_index < b->physical_index;
  });
  for (const IndexDef* p : physical) PutPhysicalIndex(f, *p, b.Put(f.physical_index_size));
  for (const IndexDef& index : layout.indexes) {
    PutLogicalIndex(f, layout, index, b.Put(f.logical_index_size));
  }
  for (const IndexDef& index : layout.indexes) {
    JET_RETURN_IF_ERROR(b.PutObjectName(table + ", index", index.name));
  }
  for (const LongValueMaps& m : long_value_maps) {
    uint8_t* d = b.Put(10);
    WriteU16(d, m.column_number);
    WriteU32(d + 2, m.owned_map_pointer);
    WriteU32(d + 6, m.free_map_pointer);
  }
  WriteU16(b.Put(2), 0xFFFF);
  std::string& bytes = b.bytes();
  if (bytes.size() + 8 > f.page_size) {
    return Status::InvalidArgument(table + ": its definition takes " +
                                   std::to_string(bytes.size()) + " bytes, more than one page (" +
                                   std::to_string(f.page_size - 8) + ")");
  }
  auto* h = reinterpret_cast<uint8_t*>(bytes.data());
  PutTableHeader(f, layout, h);
  WriteU32(h + 8, static_cast<uint32_t>(bytes.size()));
  if (!f.IsJet3()) WriteU16(h + 2, static_cast<uint16_t>(f.page_size - 8 - bytes.size()));
  bytes.resize(f.page_size, '\0');
  *page = std::move(bytes);
  return Status::OK();
}

}  // namespace jet
