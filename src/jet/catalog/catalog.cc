// Catalog reading and design properties; see catalog.h.
#include "jet/catalog/catalog.h"

#include <cstring>

#include "jet/base/coding.h"
#include "jet/format/table_def.h"
#include "jet/names.h"
#include "jet/rows/row_codec.h"
#include "jet/space/usage_map.h"

namespace jet {

bool Catalog::IsUserTable(const CatalogEntry& e) const {
  return IsTable(e) && (e.flags & kSystemObjectFlags) == 0 &&
         !(e.name.size() >= 4 && NamesEqual(std::string_view(e.name).substr(0, 4), "MSys"));
}

const CatalogEntry* Catalog::FindTableEntry(std::string_view name) const {
  for (const CatalogEntry& e : entries) {
    if (e.parent_id != tables_container_id) continue;
    if (e.type != kObjectTable && e.type != kObjectLinkedTable && e.type != kObjectLinkedOdbc) {
      continue;
    }
    if (NamesEqual(e.name, name)) return &e;
  }
  return nullptr;
}

Status ReadCatalog(const PageFile& file, const Format& format, TextDecoder& text,
                   Catalog* catalog) {
  TableDef def;
  TableDefExtras extras;
  Status s = ReadTableDef(file, format, text, kCatalogTableDefPage, &def, &extras);
  if (!s.ok()) return Status::Corruption("catalog (MSysObjects): " + s.message());
  def.name = "MSysObjects";

  int id_col = -1, parent_col = -1, name_col = -1, type_col = -1, flags_col = -1, prop_col = -1;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const std::string& n = def.columns[i].name;
    int idx = static_cast<int>(i);
    if (NamesEqual(n, "Id")) id_col = idx;
    else if (NamesEqual(n, "ParentId")) parent_col = idx;
    else if (NamesEqual(n, "Name")) name_col = idx;
    else if (NamesEqual(n, "Type")) type_col = idx;
    else if (NamesEqual(n, "Flags")) flags_col = idx;
    else if (NamesEqual(n, "LvProp")) prop_col = idx;
  }
  if (id_col < 0 || parent_col < 0 || name_col < 0 || type_col < 0) {
    return Status::Corruption("catalog (MSysObjects) lacks the Id, ParentId, Name or Type column");
  }

  UsageMap map;
  JET_RETURN_IF_ERROR(
      ReadUsageMap(file, format, def.owned_map_pointer, "owned-page map of MSysObjects", &map));
  TableScanner scanner(file, format, text, def, std::move(map.pages));
  Row row;
  catalog->entries.clear();
  catalog->tables_container_id = 0;
  bool found_tables = false;
  while (scanner.Next(&row, &s)) {
    CatalogEntry e;
    const Value& name = row.values[name_col];
    if (!name.is_null()) e.name = std::string(name.text());
    e.id = static_cast<uint32_t>(row.values[id_col].integer());
    e.parent_id = static_cast<uint32_t>(row.values[parent_col].integer());
    e.type = static_cast<int>(row.values[type_col].integer());
    if (flags_col >= 0) e.flags = static_cast<uint32_t>(row.values[flags_col].integer());
    if (prop_col >= 0 && !row.values[prop_col].is_null()) {
      e.lv_prop = std::string(row.values[prop_col].binary());
    }
    if (e.parent_id == kTablesContainerParent && e.name == "Tables") {
      catalog->tables_container_id = e.id;
      found_tables = true;
    }
    catalog->entries.push_back(std::move(e));
  }
  if (!s.ok()) return Status::Corruption("catalog (MSysObjects): " + s.message());
  if (!found_tables) return Status::Corruption("catalog (MSysObjects) has no Tables container");
  return Status::OK();
}

namespace {

// Property blob layout:
//   "MR2\0" / "KKD\0", then chunks: u32 chunk_len (header included), u16 type
//   type 0x80: property names, each u16 length + name
//   type 0x00/0x01/0x02: the properties of one object:
//     u32 block_len, u16 name_len, object name (column name; table's own
//     block carries the table name), then records:
//     u16 rec_len, u8 ddl flag, u8 data type, u16 name index, u16 value size, value

std::string DecodeName(const Format& format, TextDecoder& text, const uint8_t* p, size_t n) {
  std::string out;
  if (format.IsJet3()) {
    if (!text.AppendCodePageText(0, p, n, &out).ok()) out.clear();
  } else {
    AppendUcs2AsUtf8(p, n, &out);
  }
  return out;
}

}  // namespace

void ApplyDesignProperties(std::string_view blob, const Format& format, TextDecoder& text,
                           TableDef* table) {
  const auto* b = reinterpret_cast<const uint8_t*>(blob.data());
  const size_t size = blob.size();
  if (size < 4 || (std::memcmp(b, "MR2\0", 4) != 0 && std::memcmp(b, "KKD\0", 4) != 0)) return;
  std::vector<std::string> names;
  size_t pos = 4;
  while (pos + 6 <= size) {
    uint32_t chunk_len = ReadU32(b + pos);
    uint16_t chunk_type = ReadU16(b + pos + 4);
    if (chunk_len < 6 || chunk_len > size - pos) return;
    const uint8_t* chunk = b + pos + 6;
    const size_t chunk_size = chunk_len - 6;
    if (chunk_type == 0x80) {
      names.clear();
      size_t p = 0;
      while (p + 2 <= chunk_size) {
        uint16_t len = ReadU16(chunk + p);
        p += 2;
        if (len > chunk_size - p) return;
        names.push_back(DecodeName(format, text, chunk + p, len));
        p += len;
      }
    } else if (chunk_type <= 0x02 && chunk_size >= 6) {
      uint16_t name_len = ReadU16(chunk + 4);
      if (6u + name_len > chunk_size) return;
      std::string object_name = DecodeName(format, text, chunk + 6, name_len);
      // Block 0 holds the table's own properties, the others a column's.
      ColumnDef* column = nullptr;
      for (ColumnDef& c : table->columns) {
        if (chunk_type != 0 && NamesEqual(c.name, object_name)) column = &c;
      }
      size_t p = 6u + name_len;
      while (p + 8 <= chunk_size) {
        uint16_t rec_len = ReadU16(chunk + p);
        if (rec_len < 8 || rec_len > chunk_size - p) break;
        uint8_t data_type = chunk[p + 3];
        uint16_t name_index = ReadU16(chunk + p + 4);
        uint16_t value_size = ReadU16(chunk + p + 6);
        if (name_index < names.size() && 8u + value_size <= rec_len) {
          const std::string& name = names[name_index];
          const uint8_t* value = chunk + p + 8;
          const bool is_flag =
              data_type == static_cast<uint8_t>(ColumnType::kBoolean) && value_size >= 1;
          const bool is_text = data_type == static_cast<uint8_t>(ColumnType::kText) ||
                               data_type == static_cast<uint8_t>(ColumnType::kMemo);
          std::string* target = nullptr;
          if (column != nullptr && is_flag && name == "Required") column->required = value[0] != 0;
          if (column != nullptr && is_flag && name == "AllowZeroLength") {
            column->allow_zero_length = value[0] != 0;
          }
          if (is_text && name == "DefaultValue" && column != nullptr)
            target = &column->default_value;
          if (is_text && name == "ValidationRule") {
            target = column != nullptr ? &column->validation_rule
                     : chunk_type == 0 ? &table->validation_rule
                                       : nullptr;
          }
          if (is_text && name == "ValidationText") {
            target = column != nullptr ? &column->validation_text
                     : chunk_type == 0 ? &table->validation_text
                                       : nullptr;
          }
          if (target != nullptr) *target = DecodeName(format, text, value, value_size);
        }
        p += rec_len;
      }
    }
    pos += chunk_len;
  }
}

}  // namespace jet
