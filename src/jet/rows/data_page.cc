// Changing data pages; see data_page.h.
#include "jet/rows/data_page.h"

#include <cstring>

#include "jet/base/coding.h"
#include "jet/format/row_slots.h"

namespace jet {

namespace {

constexpr uint32_t kFreeSpaceOffset = 2;
constexpr uint32_t kOwnerOffset = 4;

std::string OnPage(uint32_t page_number) { return " on page " + std::to_string(page_number); }

// Row count, where the lowest row starts, and the check of (D1) against
// the stored free space: a page whose numbers disagree is not changed.
Status ReadLayout(const Format& format, const uint8_t* page, uint32_t page_number, uint32_t* count,
                  uint32_t* rows_start) {
  if (page[0] != kPageData) {
    return Status::Corruption("page " + std::to_string(page_number) + " is not a data page (type " +
                              std::to_string(page[0]) + ")");
  }
  JET_RETURN_IF_ERROR(PageRowCount(format, page, page_number, count));
  uint32_t start = format.page_size;
  if (*count > 0) {
    // Rows are packed downwards, so the last slot's row is the lowest.
    RowSpan span;
    JET_RETURN_IF_ERROR(LocateRow(format, page, page_number, *count - 1, &span));
    start = span.start;
  }
  const uint32_t gap = start - (format.data_header_size + 2 * *count);
  const uint32_t free_space = ReadU16(page + kFreeSpaceOffset);
  if (free_space != gap) {
    return Status::Corruption("free space " + std::to_string(free_space) + " disagrees with the " +
                              std::to_string(gap) + " bytes between offsets and rows" +
                              OnPage(page_number));
  }
  *rows_start = start;
  return Status::OK();
}

}  // namespace

void InitDataPage(const Format& format, uint8_t* page, uint32_t owner) {
  std::memset(page, 0, format.page_size);
  page[0] = kPageData;
  page[1] = 0x01;
  WriteU16(page + kFreeSpaceOffset,
           static_cast<uint16_t>(format.page_size - format.data_header_size));
  WriteU32(page + kOwnerOffset, owner);
}

uint32_t DataPageFreeSpace(const Format& format, const uint8_t* page) {
  (void)format;
  return ReadU16(page + kFreeSpaceOffset);
}

bool RowFits(const Format& format, const uint8_t* page, uint32_t row_size) {
  const uint32_t count = ReadU16(page + format.data_row_count_offset);
  return count < kMaxRowsPerPage && row_size + 2 <= DataPageFreeSpace(format, page);
}

bool StaysInFreeMap(const Format& format, const uint8_t* page, uint32_t row_size,
                    uint32_t min_row) {
  const uint32_t empty_room = format.page_size - format.data_header_size;
  return RowFits(format, page, min_row) && row_size + 2 > empty_room / 2;
}

Status AddRow(const Format& format, uint8_t* page, uint32_t page_number, std::string_view row,
              uint16_t flags, uint8_t* slot) {
  uint32_t count = 0;
  uint32_t rows_start = 0;
  JET_RETURN_IF_ERROR(ReadLayout(format, page, page_number, &count, &rows_start));
  const uint32_t size = static_cast<uint32_t>(row.size());
  if (count >= kMaxRowsPerPage) {
    return Status::InvalidArgument("no free row slot" + OnPage(page_number));
  }
  if (size + 2 > rows_start - (format.data_header_size + 2 * count)) {
    return Status::InvalidArgument("a row of " + std::to_string(size) + " bytes does not fit" +
                                   OnPage(page_number));
  }
  if ((flags & kRowOffsetMask) != 0) {
    return Status::InvalidArgument("row flags " + std::to_string(flags) + " overlap the offset");
  }
  const uint32_t start = rows_start - size;
  std::memcpy(page + start, row.data(), size);
  WriteU16(page + format.data_header_size + 2 * count, static_cast<uint16_t>(start | flags));
  WriteU16(page + format.data_row_count_offset, static_cast<uint16_t>(count + 1));
  WriteU16(page + kFreeSpaceOffset,
           static_cast<uint16_t>(start - format.data_header_size - 2 * (count + 1)));
  *slot = static_cast<uint8_t>(count);
  return Status::OK();
}

Status ReplaceRow(const Format& format, uint8_t* page, uint32_t page_number, uint32_t slot,
                  std::string_view row) {
  RowSpan span;
  JET_RETURN_IF_ERROR(LocateRow(format, page, page_number, slot, &span));
  if (span.size != row.size()) {
    return Status::InvalidArgument("row " + std::to_string(slot) + OnPage(page_number) + " has " +
                                   std::to_string(span.size) + " bytes; cannot put " +
                                   std::to_string(row.size()) + " in its place");
  }
  std::memcpy(page + span.start, row.data(), row.size());
  return Status::OK();
}

Status DeleteRow(const Format& format, uint8_t* page, uint32_t page_number, uint32_t slot) {
  uint32_t count = 0;
  uint32_t rows_start = 0;
  JET_RETURN_IF_ERROR(ReadLayout(format, page, page_number, &count, &rows_start));
  RowSpan span;
  JET_RETURN_IF_ERROR(LocateRow(format, page, page_number, slot, &span));
  const uint32_t size = span.size;
  // Rows of later slots lie below this one (LocateRow holds them to that).
  std::memmove(page + rows_start + size, page + rows_start, span.start - rows_start);
  std::memset(page + rows_start, 0, size);
  for (uint32_t later = slot; later < count; ++later) {
    uint8_t* entry = page + format.data_header_size + 2 * later;
    const uint16_t value = ReadU16(entry);
    const uint16_t flags = later == slot ? static_cast<uint16_t>(kRowDeleted | kRowLookup)
                                         : static_cast<uint16_t>(value & ~kRowOffsetMask);
    WriteU16(entry, static_cast<uint16_t>(((value & kRowOffsetMask) + size) | flags));
  }
  WriteU16(page + kFreeSpaceOffset, static_cast<uint16_t>(ReadU16(page + kFreeSpaceOffset) + size));
  return Status::OK();
}

bool AllRowsDeleted(const Format& format, const uint8_t* page) {
  const uint32_t count = ReadU16(page + format.data_row_count_offset);
  if (count > kMaxRowsPerPage) return false;
  constexpr uint16_t kGone = kRowDeleted | kRowLookup;
  for (uint32_t slot = 0; slot < count; ++slot) {
    if ((ReadU16(page + format.data_header_size + 2 * slot) & kGone) != kGone) return false;
  }
  return count > 0;
}

Status SetRowFlags(const Format& format, uint8_t* page, uint32_t page_number, uint32_t slot,
                   uint16_t flags) {
  if ((flags & kRowOffsetMask) != 0) {
    return Status::InvalidArgument("row flags " + std::to_string(flags) + " overlap the offset");
  }
  RowSpan span;
  JET_RETURN_IF_ERROR(LocateRow(format, page, page_number, slot, &span));
  uint8_t* entry = page + format.data_header_size + 2 * slot;
  WriteU16(entry, static_cast<uint16_t>((ReadU16(entry) & kRowOffsetMask) | flags));
  return Status::OK();
}

}  // namespace jet
