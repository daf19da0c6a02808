// Creating databases and tables (Jet 4, and Jet 3 for Access 97): the pieces that build table
// definitions and catalog rows, shared by Database::Create (the four system
// tables) and Database::CreateTable / CreateIndex (user tables). In four
// files:
//   table_layout.cc    a table's stored layout and its TDEF page
//   new_table.cc       the pages of a new table, catalog rows, CreateTable
//                      and CreateIndex
//   empty_database.cc  the system tables and the whole file of an empty
//                      database
//   create.cc          publishing that file under its name (Database::Create)
//
// A table made here is laid out the way Access lays one out:
//   - one TDEF page (a definition longer than one page is refused);
//   - a usage-map page (a data page owned by no table, as Access keeps
//     them) holding inline map rows starting at page 0 (69 bytes in Jet 4,
//     133 in Jet 3): the table's owned and free maps, an owned and a free
//     map per Memo/OLE column, then one map per index. Once that page is
//     full, each further column's pair and each index map starts a new page
//     (as the Access 97 files show);
//   - one empty leaf page per index, its root, listed in the index's map.
// Jet 3 definitions differ from Jet 4 ones in their layout only: columns in
// number order, names in the database's code page, text lengths in bytes,
// index flags without Access 2000's 0x80.
//
// Invariants of every definition BuildTableDef writes:
//   (C1) ParseTableDef reads back the columns (numbers, var slots, fixed
//        offsets, lengths, flags) and indexes (columns, order, flags, type,
//        root, map) it was given;
//   (C2) physical index i is logical index i; index numbers follow the order given;
//   (C3) tdef_len and the page's free space agree with the bytes written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/base/text.h"
#include "jet/database.h"
#include "jet/format/format.h"
#include "jet/format/table_def.h"
#include "jet/pager/page_file.h"
#include "jet/status.h"

namespace jet {

// An inline usage-map row as new tables get them: map type, start page,
// bitmap (64 bytes in Jet 4, 128 in Jet 3).
inline uint32_t MapRowSize(const Format& format) { return format.IsJet3() ? 133 : 69; }

// Owner SIDs Access writes into catalog rows: the engine's own objects, and
// the database object (Admin).
inline std::string_view OwnerEngine(const Format& format) {
  return format.IsJet3() ? std::string_view("\x02\x03", 2) : std::string_view("\x06\xEA", 2);
}
inline std::string_view OwnerDatabase(const Format& format) {
  return format.IsJet3() ? std::string_view("\x03\x01", 2) : std::string_view("\x07\xE8", 2);
}

// The stored layout of a new table. columns carry every stored field
// (number, var slot, fixed offset, length, flags); indexes carry their
// columns, flags and type (root page and map pointer are filled by
// WriteNewTable).
struct TableLayout {
  std::string name;
  bool system = false;             // table type 'S' (0x53), else 'N' (0x4E)
  std::vector<ColumnDef> columns;  // in TDEF order
  std::vector<IndexDef> indexes;   // physical == logical
  uint16_t max_cols = 0;
  uint16_t num_var_cols = 0;
  uint8_t logical_extra[2] = {0, 0};  // bytes 21..22 of each logical index descriptor
  uint32_t row_count = 0;
  uint32_t autonumber_last = 0;
  std::vector<uint32_t> unique_counts;  // per physical index (0 when absent)
  uint32_t owned_map_pointer = 0;
  uint32_t free_map_pointer = 0;
};

// Appends a name as table definitions and property blobs store it: u16
// byte length, then UCS-2LE. REQUIRES: valid UTF-8 (LayoutFromDesign checks
// every name it lays out).
void PutName(const std::string& utf8, std::string* out);

// A name as Jet 3 definitions, property blobs and catalog rows store it: in
// the database's code page. kInvalidArgument "<what> name '<name>': ..."
// naming a character the code page lacks.
Status EncodeJet3Name(TextDecoder& text, const std::string& what, const std::string& name,
                      std::string* bytes);

// Turns a TableDesign into a layout for `format`: column numbers in the
// order given, var slots and fixed offsets as Access assigns them, Access's
// column and index flags. kInvalidArgument naming the table, column or
// index for empty or duplicate names, a bad length, precision or scale, an
// autonumber that is not Long, an index on a missing column, two primary
// keys, a Decimal column in an Access 97 table.
Status LayoutFromDesign(const Format& format, const TableDesign& design, TableLayout* layout);

// Serializes the definition of `layout` (root pages, map pointers and the
// long-value maps already set) as one whole TDEF page; Jet 3 names go in
// the code page of `text`'s database. kInvalidArgument when it does not fit
// on one page or a Jet 3 name has a character the code page lacks.
Status BuildTableDef(const Format& format, TextDecoder& text, const TableLayout& layout,
                     const std::vector<LongValueMaps>& long_value_maps, std::string* page);

// Writes a new table whose TDEF goes on `tdef_page` (already allocated and
// marked used): its map rows, index roots and definition. The map rows go
// on `map_page` (0: a new page), which is set to the page that took the
// table's first rows. Fills the root pages and map pointers of
// layout->indexes. REQUIRES: file.in_unit().
Status WriteNewTable(PageFile& file, const Format& format, TextDecoder& text, uint32_t tdef_page,
                     TableLayout* layout, uint32_t* map_page);

// Inserts one row into a table this engine does not otherwise change (the
// catalog and MSysACEs): the same steps as the table writer's Insert (row,
// maps, index entries, counters), without its refusal of system tables.
// Uniqueness is the caller's concern. REQUIRES: file.in_unit().
Status InsertSystemRow(PageFile& file, const Format& format, TextDecoder& text, uint32_t tdef_page,
                       const std::vector<std::pair<const char*, Value>>& named);

// Inserts the MSysObjects row of an object; `lv_prop` is its property blob
// (may be empty). REQUIRES: file.in_unit().
Status InsertCatalogRow(PageFile& file, const Format& format, TextDecoder& text, uint32_t id,
                        uint32_t parent, const std::string& name, int type, double date,
                        std::string_view owner, uint32_t flags, std::string_view lv_prop);

// The whole file of an empty database of `format` created on `date` (an
// OLE date): its header page, the global page map, the four system tables,
// their catalog rows and access entries, as Access (2000 or 97) makes one.
Status BuildEmptyDatabase(const Format& format, double date, std::string* image);

// The OLE date of now, to the second.
double OleDateNow();

}  // namespace jet
