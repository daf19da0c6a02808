// Table definition parsing; see table_def.h.
#include "jet/format/table_def.h"

#include <algorithm>
#include <unordered_set>

#include "jet/base/coding.h"

namespace jet {

namespace {

// Sequential reader over the definition buffer; every read is checked.
class DefReader {
 public:
  DefReader(const std::string& buffer, uint32_t page_number)
      : data_(reinterpret_cast<const uint8_t*>(buffer.data())),
        size_(buffer.size()),
        page_number_(page_number) {}

  size_t pos() const { return pos_; }
  size_t remaining() const { return size_ - pos_; }
  void Seek(size_t pos) { pos_ = pos; }

  // Reserves `n` bytes at the cursor and returns them, or sets a Corruption.
  const uint8_t* Take(uint64_t n, const char* what, Status* status) {
    if (n > remaining()) {
      *status =
          Status::Corruption(std::string("table definition at page ") +
                             std::to_string(page_number_) + " ends inside " + what + " (at byte " +
                             std::to_string(pos_) + " of " + std::to_string(size_) + ")");
      return nullptr;
    }
    const uint8_t* p = data_ + pos_;
    pos_ += static_cast<size_t>(n);
    return p;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  uint32_t page_number_;
};

Status ReadName(const Format& format, TextDecoder& text, DefReader& reader, const char* what,
                std::string* name) {
  Status s;
  const uint8_t* len_bytes = reader.Take(format.name_length_size, what, &s);
  if (!len_bytes) return s;
  uint32_t len = format.IsJet3() ? len_bytes[0] : ReadU16(len_bytes);
  const uint8_t* bytes = reader.Take(len, what, &s);
  if (!bytes) return s;
  name->clear();
  if (format.IsJet3()) return text.AppendCodePageText(0, bytes, len, name);
  AppendUcs2AsUtf8(bytes, len, name);
  return Status::OK();
}

// Column descriptors, then their names in the same order.
Status ReadColumns(const Format& format, TextDecoder& text, DefReader& reader, uint32_t num_cols,
                   const TableDef& table, std::vector<ColumnDef>* columns) {
  Status s;
  const uint8_t* descriptors =
      reader.Take(static_cast<uint64_t>(num_cols) * format.column_size, "the column list", &s);
  if (!descriptors) return s;
  columns->assign(num_cols, ColumnDef());
  for (uint32_t i = 0; i < num_cols; ++i) {
    const uint8_t* d = descriptors + i * format.column_size;
    ColumnDef& c = (*columns)[i];
    c.type = static_cast<ColumnType>(d[0]);
    c.column_number = ReadU16(d + format.column_number_offset);
    c.var_index = ReadU16(d + format.column_var_index_offset);
    c.position = ReadU16(d + format.column_position_offset);
    c.flags = d[format.column_flags_offset];
    c.ext_flags = format.column_ext_flags_offset ? d[format.column_ext_flags_offset] : 0;
    c.fixed_offset = ReadU16(d + format.column_fixed_offset_offset);
    c.length = ReadU16(d + format.column_length_offset);
    if (c.type == ColumnType::kNumeric) {
      c.precision = d[format.column_precision_offset];
      c.scale = d[format.column_scale_offset];
    } else if (c.type == ColumnType::kText || c.type == ColumnType::kMemo) {
      c.sort_order = ReadU16(d + format.column_sort_order_offset);
      if (format.column_sort_version_offset) c.sort_version = d[format.column_sort_version_offset];
      if (format.column_code_page_offset) c.code_page = ReadU16(d + format.column_code_page_offset);
    }
    if (c.column_number >= table.max_cols && table.max_cols != 0) {
      return Status::Corruption(
          "column " + std::to_string(i) + " of the table definition at page " +
          std::to_string(table.tdef_page) + " has number " + std::to_string(c.column_number) +
          " but the table has only " + std::to_string(table.max_cols));
    }
  }
  for (uint32_t i = 0; i < num_cols; ++i) {
    JET_RETURN_IF_ERROR(ReadName(format, text, reader, "the column names", &(*columns)[i].name));
  }
  return Status::OK();
}

// An index as stored: its columns, usage map and root. Logical indexes
// (the ones with names) share them.
struct PhysicalIndex {
  std::vector<IndexColumnDef> columns;
  uint32_t map_pointer;
  uint32_t root_page;
  uint8_t flags;
};

Status ReadPhysicalIndexes(const Format& format, DefReader& reader, uint32_t num_real_idx,
                           const std::vector<ColumnDef>& columns,
                           std::vector<PhysicalIndex>* physical) {
  Status s;
  const uint8_t* physical_bytes = reader.Take(
      static_cast<uint64_t>(num_real_idx) * format.physical_index_size, "the index list", &s);
  if (!physical_bytes) return s;
  physical->assign(num_real_idx, PhysicalIndex());
  for (uint32_t i = 0; i < num_real_idx; ++i) {
    const uint8_t* d = physical_bytes + i * format.physical_index_size;
    PhysicalIndex& p = (*physical)[i];
    for (int k = 0; k < 10; ++k) {
      const uint8_t* slot = d + format.physical_index_columns_offset + 3 * k;
      uint16_t number = ReadU16(slot);
      if (number == 0xFFFF) continue;
      IndexColumnDef ic;
      ic.column_number = number;
      ic.ascending = (slot[2] & 0x01) != 0;
      for (const ColumnDef& c : columns) {
        if (c.column_number == number) ic.column_name = c.name;
      }
      p.columns.push_back(std::move(ic));
    }
    p.map_pointer = ReadU32(d + format.physical_index_map_offset);
    p.root_page = ReadU32(d + format.physical_index_root_offset);
    p.flags = d[format.physical_index_flags_offset];
  }
  return Status::OK();
}

// Logical indexes, then their names.
Status ReadLogicalIndexes(const Format& format, TextDecoder& text, DefReader& reader,
                          uint32_t num_idx, const std::vector<PhysicalIndex>& physical,
                          uint32_t page_number, std::vector<IndexDef>* indexes) {
  Status s;
  const uint8_t* logical_bytes = reader.Take(
      static_cast<uint64_t>(num_idx) * format.logical_index_size, "the logical index list", &s);
  if (!logical_bytes) return s;
  indexes->assign(num_idx, IndexDef());
  for (uint32_t i = 0; i < num_idx; ++i) {
    const uint8_t* d = logical_bytes + i * format.logical_index_size;
    IndexDef& index = (*indexes)[i];
    index.index_number = ReadU32(d + format.logical_index_number_offset);
    index.physical_index = ReadU32(d + format.logical_index_physical_offset);
    index.index_type = d[format.logical_index_type_offset];
    if (index.physical_index >= physical.size()) {
      return Status::Corruption("index " + std::to_string(i) + " of the table definition at page " +
                                std::to_string(page_number) + " refers to physical index " +
                                std::to_string(index.physical_index) + " of " +
                                std::to_string(physical.size()));
    }
    const PhysicalIndex& p = physical[index.physical_index];
    index.columns = p.columns;
    index.flags = p.flags;
    index.root_page = p.root_page;
    index.usage_map_pointer = p.map_pointer;
  }
  for (uint32_t i = 0; i < num_idx; ++i) {
    JET_RETURN_IF_ERROR(ReadName(format, text, reader, "the index names", &(*indexes)[i].name));
  }
  return Status::OK();
}

// Usage maps of long-value columns, up to the FF FF terminator.
Status ReadLongValueMaps(DefReader& reader, size_t num_columns, uint32_t page_number,
                         TableDefExtras* extras) {
  Status s;
  extras->long_value_maps.clear();
  while (reader.remaining() >= 2) {
    const uint8_t* number = reader.Take(2, "the long-value maps", &s);
    uint16_t column_number = ReadU16(number);
    if (column_number == 0xFFFF) break;
    const uint8_t* maps = reader.Take(8, "the long-value maps", &s);
    if (!maps) return s;
    extras->long_value_maps.push_back({column_number, ReadU32(maps), ReadU32(maps + 4)});
    if (extras->long_value_maps.size() > num_columns) {
      return Status::Corruption("table definition at page " + std::to_string(page_number) +
                                " lists more long-value maps than columns");
    }
  }
  return Status::OK();
}

}  // namespace

Status ReadTableDefBuffer(const PageFile& file, const Format& format, uint32_t page_number,
                          std::string* buffer, std::vector<uint32_t>* pages) {
  buffer->clear();
  pages->clear();
  std::unordered_set<uint32_t> seen;
  uint32_t current = page_number;
  while (true) {
    const uint8_t* page;
    JET_RETURN_IF_ERROR(file.GetPage(current, "table definition chain", &page));
    if (page[0] != kPageTableDef) {
      return Status::Corruption(
          "page " + std::to_string(current) + " is not a table definition page (type " +
          std::to_string(page[0]) + ")" +
          (current == page_number
               ? std::string()
               : " but continues the definition at page " + std::to_string(page_number)));
    }
    if (!seen.insert(current).second) {
      return Status::Corruption("table definition at page " + std::to_string(page_number) +
                                " loops back to page " + std::to_string(current));
    }
    pages->push_back(current);
    const char* bytes = reinterpret_cast<const char*>(page);
    if (current == page_number) {
      buffer->append(bytes, format.page_size);
    } else {
      buffer->append(bytes + 8, format.page_size - 8);
    }
    current = ReadU32(page + 4);
    if (current == 0) break;
  }
  return Status::OK();
}

Status ParseTableDef(const Format& format, TextDecoder& text, const std::string& buffer,
                     uint32_t page_number, TableDef* table, TableDefExtras* extras) {
  if (buffer.size() < format.tdef_header_size) {
    return Status::Corruption("table definition at page " + std::to_string(page_number) +
                              " is shorter than its header");
  }
  const auto* b = reinterpret_cast<const uint8_t*>(buffer.data());
  table->tdef_page = page_number;
  table->row_count = ReadU32(b + format.tdef_row_count_offset);
  table->autonumber_last = ReadU32(b + format.tdef_autonumber_offset);
  table->is_system = b[format.tdef_table_type_offset] == 0x53;
  table->max_cols = ReadU16(b + format.tdef_max_cols_offset);
  table->num_var_cols = ReadU16(b + format.tdef_num_var_cols_offset);
  uint32_t num_cols = ReadU16(b + format.tdef_num_cols_offset);
  uint32_t num_idx = ReadU32(b + format.tdef_num_idx_offset);
  uint32_t num_real_idx = ReadU32(b + format.tdef_num_real_idx_offset);
  table->owned_map_pointer = ReadU32(b + format.tdef_owned_map_offset);
  table->free_map_pointer = ReadU32(b + format.tdef_free_map_offset);

  DefReader reader(buffer, page_number);
  reader.Seek(format.tdef_header_size);
  Status s;
  // Index count block (unique-key statistics); nothing to keep.
  if (!reader.Take(static_cast<uint64_t>(num_real_idx) * format.tdef_index_count_entry_size,
                   "the index count block", &s)) {
    return s;
  }

  std::vector<ColumnDef> columns;
  JET_RETURN_IF_ERROR(ReadColumns(format, text, reader, num_cols, *table, &columns));
  std::vector<PhysicalIndex> physical;
  JET_RETURN_IF_ERROR(ReadPhysicalIndexes(format, reader, num_real_idx, columns, &physical));
  JET_RETURN_IF_ERROR(
      ReadLogicalIndexes(format, text, reader, num_idx, physical, page_number, &table->indexes));
  JET_RETURN_IF_ERROR(ReadLongValueMaps(reader, columns.size(), page_number, extras));

  std::stable_sort(columns.begin(), columns.end(), [](const ColumnDef& a, const ColumnDef& c) {
    return a.column_number < c.column_number;
  });
  table->columns = std::move(columns);
  return Status::OK();
}

Status ReadTableDef(const PageFile& file, const Format& format, TextDecoder& text,
                    uint32_t page_number, TableDef* table, TableDefExtras* extras) {
  std::string buffer;
  JET_RETURN_IF_ERROR(ReadTableDefBuffer(file, format, page_number, &buffer, &extras->pages));
  return ParseTableDef(format, text, buffer, page_number, table, extras);
}

}  // namespace jet
