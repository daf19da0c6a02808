// Row slots of data pages; see row_slots.h.
#include "jet/format/row_slots.h"

#include <string>

#include "jet/base/coding.h"

namespace jet {

namespace {

std::string Where(uint32_t page_number, uint32_t slot) {
  return " (page " + std::to_string(page_number) + " row " + std::to_string(slot) + ")";
}

}  // namespace

Status PageRowCount(const Format& format, const uint8_t* page, uint32_t page_number,
                    uint32_t* count) {
  uint32_t n = ReadU16(page + format.data_row_count_offset);
  if (format.data_header_size + 2 * n > format.page_size) {
    return Status::Corruption("row count " + std::to_string(n) + " does not fit on page " +
                              std::to_string(page_number));
  }
  *count = n;
  return Status::OK();
}

Status LocateRow(const Format& format, const uint8_t* page, uint32_t page_number, uint32_t slot,
                 RowSpan* span) {
  uint32_t count;
  JET_RETURN_IF_ERROR(PageRowCount(format, page, page_number, &count));
  if (slot >= count) {
    return Status::Corruption("row " + std::to_string(slot) + " does not exist on page " +
                              std::to_string(page_number) + " (" + std::to_string(count) +
                              " rows)");
  }
  if (SlotSpan(format, page, count, slot, span)) return Status::OK();
  const uint32_t start = ReadU16(page + format.data_header_size + 2 * slot) & kRowOffsetMask;
  const uint32_t end =
      slot == 0 ? format.page_size
                : ReadU16(page + format.data_header_size + 2 * (slot - 1)) & kRowOffsetMask;
  return Status::Corruption("row offset " + std::to_string(start) + ".." + std::to_string(end) +
                            " out of range" + Where(page_number, slot));
}

Status FetchRow(const PageFile& file, const Format& format, uint32_t pointer, const char* what,
                const uint8_t** page, RowSpan* span, PageBuffer* buffer) {
  uint32_t page_number = RowPointerPage(pointer);
  JET_RETURN_IF_ERROR(buffer == nullptr ? file.GetPage(page_number, what, page)
                                        : file.GetPageUncached(page_number, what, buffer, page));
  if ((*page)[0] != kPageData) {
    return Status::Corruption(std::string(what) + " points at page " + std::to_string(page_number) +
                              ", which is not a data page (type " + std::to_string((*page)[0]) +
                              ")");
  }
  return LocateRow(format, *page, page_number, RowPointerSlot(pointer), span);
}

}  // namespace jet
