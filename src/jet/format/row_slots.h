// Row slots of data pages: where each row of a page lies, and where a
// stored row pointer (u8 slot | u24 page) leads. Everything read from the
// page is bounds-checked; a bad offset is a Corruption naming the page and
// slot.
#pragma once

#include <cstdint>

#include "jet/format/format.h"
#include "jet/pager/page_file.h"
#include "jet/status.h"

namespace jet {

struct RowSpan {
  uint32_t start = 0;  // offset of the row inside its page
  uint32_t size = 0;
  uint16_t flags = 0;  // kRowDeleted / kRowLookup bits of the offset entry
};

// Number of row slots on a data page, checked against what the page can hold.
Status PageRowCount(const Format& format, const uint8_t* page, uint32_t page_number,
                    uint32_t* count);

// Locates `slot` on a data page: the row ends where the previous slot's row
// starts (the page end for slot 0).
Status LocateRow(const Format& format, const uint8_t* page, uint32_t page_number, uint32_t slot,
                 RowSpan* span);

// LocateRow for a page whose row count (`count`, checked by PageRowCount) is
// known and a slot below it: false, and no error message made, when the
// offsets are out of range (LocateRow then says how).
inline bool SlotSpan(const Format& format, const uint8_t* page, uint32_t count, uint32_t slot,
                     RowSpan* span) {
  const uint8_t* const offsets = page + format.data_header_size;
  const uint16_t entry = static_cast<uint16_t>(offsets[2 * slot] | (offsets[2 * slot + 1] << 8));
  const uint32_t start = entry & kRowOffsetMask;
  const uint32_t end =
      slot == 0 ? format.page_size
                : static_cast<uint32_t>(offsets[2 * slot - 2] | (offsets[2 * slot - 1] << 8)) &
                      kRowOffsetMask;
  if (start < format.data_header_size + 2 * count || start > end || end > format.page_size) {
    return false;
  }
  span->start = start;
  span->size = end - start;
  span->flags = entry & static_cast<uint16_t>(~kRowOffsetMask);
  return true;
}

// Follows a stored row pointer (u8 slot | u24 page) to a row on a data page;
// *page is the start of that page, the row is at span->start.
// `what` names the pointer in error messages. With a `buffer`, a page not
// cached is read into it (PageFile::GetPageUncached).
Status FetchRow(const PageFile& file, const Format& format, uint32_t pointer, const char* what,
                const uint8_t** page, RowSpan* span, PageBuffer* buffer = nullptr);

}  // namespace jet
