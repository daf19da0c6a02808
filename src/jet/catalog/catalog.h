// The catalog: the rows of MSysObjects (its definition is always on page 2),
// how tables are found by name, and the design properties kept in LvProp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/text.h"
#include "jet/format/format.h"
#include "jet/pager/page_file.h"
#include "jet/types.h"

namespace jet {

// Catalog object types (MSysObjects.Type).
inline constexpr int kObjectTable = 1;
inline constexpr int kObjectLinkedOdbc = 4;
inline constexpr int kObjectLinkedTable = 6;
inline constexpr uint32_t kTablesContainerParent = 0x0F000000;
inline constexpr uint32_t kSystemObjectFlags = 0x80000002;

struct CatalogEntry {
  std::string name;
  uint32_t id = 0;
  uint32_t parent_id = 0;
  int type = 0;
  uint32_t flags = 0;
  std::string lv_prop;  // design properties blob, may be empty

  uint32_t TableDefPage() const { return id & 0x00FFFFFF; }
};

struct Catalog {
  std::vector<CatalogEntry> entries;
  uint32_t tables_container_id = 0;

  bool IsTable(const CatalogEntry& e) const {
    return e.parent_id == tables_container_id && e.type == kObjectTable;
  }
  bool IsUserTable(const CatalogEntry& e) const;
  // A table or linked table under the Tables container, by name
  // (case-insensitive); nullptr when absent.
  const CatalogEntry* FindTableEntry(std::string_view name) const;
};

// Reads every MSysObjects row.
Status ReadCatalog(const PageFile& file, const Format& format, TextDecoder& text, Catalog* catalog);

// Sets the design properties of the columns (Required, AllowZeroLength,
// DefaultValue, ValidationRule, ValidationText) and of the table itself
// (ValidationRule, ValidationText) from an LvProp blob ("MR2\0" in Jet 4,
// "KKD\0" in Jet 3). A blob that cannot be parsed leaves what it had not
// reached unchanged: reading rows never depends on it. Writes do (db/rules.h).
void ApplyDesignProperties(std::string_view blob, const Format& format, TextDecoder& text,
                           TableDef* table);

}  // namespace jet
