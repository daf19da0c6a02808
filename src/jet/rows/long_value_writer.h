// Writing memo and OLE values (Jet 4): the 12-byte field that goes into the
// row (long_value.h shows its layout) and the LVAL rows that hold the data,
// on LVAL data pages listed in the column's own owned and free maps.
//
//   data size                 kind   stored as
//   <= kMaxInlineLongValue    0x80   inside the row, after the header
//   <= LVAL row maximum       0x40   one LVAL row
//   larger                    0x00   a chain of LVAL rows, each u32 next
//                                    pointer + chunk; the last pointer is 0
// The LVAL row maximum is the largest row Access puts on an LVAL page:
// 4076 bytes in Jet 4 (testV2000.mdb, tessdata-2009.mdb), so a chain row
// carries 4072 bytes of data.
//
// Invariants (inside a PageFile unit):
//   (L1) Every LVAL row lies on a data page owned by "LVAL" that is in the
//        column's owned map. A page leaves the column's free map once no
//        row longer than kMaxInlineLongValue fits on it (any LVAL row but a
//        chain's last is that long), and comes back when a deleted row
//        makes room. A row goes on the page the writer last added to, else
//        on one of the last few owned pages of the free map that has room,
//        else on a new page (space.h: a free page of the file first).
//   (L2) ReadLongValue gives back exactly the data Write was given.
//   (L3) Free deletes every LVAL row of a value as Access deletes rows
//        (data_page.h, D3: kRowDeleted | kRowLookup, its bytes given back to
//        the page) and changes no other row; an inline value has none.
//   (L4) Free trusts no pointer of the stored field or its chain: every row
//        it deletes must be a live row on an LVAL page that the column's
//        owned map lists. Otherwise it fails with a Corruption naming the row
//        (the caller rolls back what it deleted before).
//   (L5) A page that Free leaves with no live row leaves the column's maps
//        and goes back to the file (FreePage); one left with room for
//        another row is in the column's free map.
//
// A LongValueWriter remembers the page it last wrote to per column: use one
// per unit, and none after the unit is rolled back. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format/format.h"
#include "jet/format/table_def.h"
#include "jet/pager/page_file.h"
#include "jet/status.h"

namespace jet {

inline constexpr uint32_t kMaxInlineLongValue = 64;
inline constexpr uint32_t kJet4MaxLongValueRow = 4076;

// Size of the row field Write produces for `data_size` bytes of data.
inline uint32_t LongValueFieldSize(size_t data_size) {
  return kLongValueHeaderSize +
         (data_size <= kMaxInlineLongValue ? static_cast<uint32_t>(data_size) : 0);
}

// Replaces *field with the field of a value kept inside the row: the header
// (kind 0x80, length) and the data. REQUIRES: data.size() <= kMaxInlineLongValue.
void EncodeInlineLongValue(std::string_view data, std::string* field);

// Largest LVAL row this writer puts on a page (kJet4MaxLongValueRow in Jet 4).
uint32_t MaxLongValueRow(const Format& format);

class LongValueWriter {
 public:
  // `maps` are the long-value maps of the table whose TDEF is `tdef_page`
  // (TableDefExtras::long_value_maps). The PageFile must outlive the writer.
  LongValueWriter(PageFile& file, const Format& format, uint32_t tdef_page,
                  std::vector<LongValueMaps> maps);
  LongValueWriter(const LongValueWriter&) = delete;
  LongValueWriter& operator=(const LongValueWriter&) = delete;

  // Stores `data` (memo text already encoded as Jet 4 text) for the memo or
  // OLE column `column_number` and replaces *field with the row field.
  // REQUIRES: file.in_unit() unless the data stays inline.
  Status Write(uint16_t column_number, std::string_view data, std::string* field);

  // Deletes the LVAL rows of a stored row field of the memo or OLE column
  // `column_number` (L3, L4) and settles their pages (L5).
  // REQUIRES: file.in_unit() unless the value is inline or empty.
  Status Free(uint16_t column_number, std::string_view field);

 private:
  struct Column {
    LongValueMaps maps;
    uint32_t page = 0;  // page rows were last added to; 0 = none yet
  };

  Status FindColumn(uint16_t column_number, Column** column);
  // Adds one LVAL row for `column`: on its current page if it fits,
  // else on the last owned page still in the free map, else on a new page.
  Status AddLongValueRow(Column& column, std::string_view row, uint32_t* pointer);
  Status PageWithRoom(Column& column, uint32_t row_size, uint32_t* page_number);
  Status NewPage(Column& column, uint32_t* page_number);
  Status DeleteLongValueRow(const Column& column, uint32_t pointer);
  // (L5) for a page Free deleted rows on.
  Status GiveBack(Column& column, uint32_t page_number);

  PageFile& file_;
  const Format& format_;
  uint32_t tdef_page_;
  std::vector<Column> columns_;
  std::string row_;  // scratch for one chain row
};

}  // namespace jet
