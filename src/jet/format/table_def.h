// Table definitions (TDEF pages): the table header, columns, indexes and the
// usage maps of long-value columns. A definition longer than one page
// continues on further TDEF pages; the logical buffer is the first page
// whole plus bytes 8.. of each continuation page.
//
// TDEF page header:
//   OFFSET  SIZE  MEANING
//   0       1     0x02
//   1       1     0x01
//   2       2     J3 "VC", J4 free space
//   4       4     next TDEF page (0 = none)
// Field tables for the rest live in format.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/text.h"
#include "jet/format/format.h"
#include "jet/pager/page_file.h"
#include "jet/types.h"

namespace jet {

// Owned and free maps of one memo/OLE column.
struct LongValueMaps {
  uint16_t column_number = 0;
  uint32_t owned_map_pointer = 0;
  uint32_t free_map_pointer = 0;
};

struct TableDefExtras {
  std::vector<uint32_t> pages;  // the TDEF page chain, first page first
  std::vector<LongValueMaps> long_value_maps;
};

// Concatenates the TDEF chain starting at `page_number`, refusing pages that
// are not TDEF pages and chains that loop.
Status ReadTableDefBuffer(const PageFile& file, const Format& format, uint32_t page_number,
                          std::string* buffer, std::vector<uint32_t>* pages);

// Parses a whole logical definition buffer. `name` is stored as given.
Status ParseTableDef(const Format& format, TextDecoder& text, const std::string& buffer,
                     uint32_t page_number, TableDef* table, TableDefExtras* extras);

Status ReadTableDef(const PageFile& file, const Format& format, TextDecoder& text,
                    uint32_t page_number, TableDef* table, TableDefExtras* extras);

}  // namespace jet
