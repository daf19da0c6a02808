// Writing memo and OLE values; see long_value_writer.h.
#include "jet/rows/long_value_writer.h"

#include <algorithm>

#include "jet/base/coding.h"
#include "jet/format/row_slots.h"
#include "jet/rows/data_page.h"
#include "jet/space/space.h"
#include "jet/space/usage_map.h"

namespace jet {

namespace {

// A page keeps its place in the free map while it can take one more LVAL
// row: every row that is not a chain's tail is longer than an inline value.
constexpr uint32_t kMinLongValueRow = kMaxInlineLongValue + 1;

bool HasRoomLeft(const Format& format, const uint8_t* page) {
  return RowFits(format, page, kMinLongValueRow);
}

// Pages of the free map PageWithRoom looks at before it takes a new page.
constexpr uint32_t kPagesTried = 8;

bool IsLongValuePage(const uint8_t* page) {
  return page[0] == kPageData && ReadU32(page + 4) == kLongValueOwner;
}

std::string PointerText(uint32_t pointer) {
  return "page " + std::to_string(RowPointerPage(pointer)) + " row " +
         std::to_string(RowPointerSlot(pointer));
}

void PutHeader(uint32_t word, uint32_t pointer, std::string* field) {
  field->assign(kLongValueHeaderSize, '\0');
  auto* p = reinterpret_cast<uint8_t*>(field->data());
  WriteU32(p, word);
  WriteU32(p + 4, pointer);
}

}  // namespace

void EncodeInlineLongValue(std::string_view data, std::string* field) {
  PutHeader(kLongValueInline | static_cast<uint32_t>(data.size()), 0, field);
  field->append(data);
}

uint32_t MaxLongValueRow(const Format& format) {
  // One offset entry, and 4 bytes short of the page's room as Access keeps.
  return format.page_size - format.data_header_size - 2 - 4;
}

LongValueWriter::LongValueWriter(PageFile& file, const Format& format, uint32_t tdef_page,
                                 std::vector<LongValueMaps> maps)
    : file_(file), format_(format), tdef_page_(tdef_page) {
  for (const LongValueMaps& m : maps) columns_.push_back(Column{m, 0});
}

Status LongValueWriter::FindColumn(uint16_t column_number, Column** column) {
  for (Column& c : columns_) {
    if (c.maps.column_number == column_number) {
      *column = &c;
      return Status::OK();
    }
  }
  return Status::Corruption("the table definition on page " + std::to_string(tdef_page_) +
                            " has no long-value maps for column number " +
                            std::to_string(column_number));
}

Status LongValueWriter::Write(uint16_t column_number, std::string_view data, std::string* field) {
  if (data.size() <= kMaxInlineLongValue) {
    EncodeInlineLongValue(data, field);
    return Status::OK();
  }
  if (data.size() > kLongValueLengthMask) {
    return Status::InvalidArgument("a long value of " + std::to_string(data.size()) +
                                   " bytes is larger than the " +
                                   std::to_string(kLongValueLengthMask) + " a value may hold");
  }
  Column* column;
  JET_RETURN_IF_ERROR(FindColumn(column_number, &column));
  const auto length = static_cast<uint32_t>(data.size());
  const uint32_t max_row = MaxLongValueRow(format_);
  if (length <= max_row) {
    uint32_t pointer;
    JET_RETURN_IF_ERROR(AddLongValueRow(*column, data, &pointer));
    PutHeader(kLongValueSingle | length, pointer, field);
    return Status::OK();
  }

  // A chain, written front to back: each row is added with a zero next
  // pointer, and the previous row is then pointed at it.
  const uint32_t chunk_size = max_row - 4;
  uint32_t first = 0;
  uint32_t previous = 0;
  for (size_t done = 0; done < data.size(); done += chunk_size) {
    const size_t chunk = std::min<size_t>(chunk_size, data.size() - done);
    row_.assign(4, '\0');
    row_.append(data.substr(done, chunk));
    uint32_t pointer;
    JET_RETURN_IF_ERROR(AddLongValueRow(*column, row_, &pointer));
    if (previous == 0) {
      first = pointer;
    } else {
      uint8_t* page;
      JET_RETURN_IF_ERROR(file_.MutablePage(RowPointerPage(previous), &page));
      RowSpan span;
      JET_RETURN_IF_ERROR(
          LocateRow(format_, page, RowPointerPage(previous), RowPointerSlot(previous), &span));
      WriteU32(page + span.start, pointer);
    }
    previous = pointer;
  }
  PutHeader(length, first, field);
  return Status::OK();
}

Status LongValueWriter::PageWithRoom(Column& column, uint32_t row_size, uint32_t* page_number) {
  *page_number = 0;
  if (column.page != 0) {
    const uint8_t* page;
    JET_RETURN_IF_ERROR(file_.GetPage(column.page, "long-value page", &page));
    if (IsLongValuePage(page) && RowFits(format_, page, row_size)) {
      *page_number = column.page;
      return Status::OK();
    }
    if (IsLongValuePage(page) && !StaysInFreeMap(format_, page, row_size, kMinLongValueRow)) {
      JET_RETURN_IF_ERROR(
          RemovePageFromUsageMap(file_, format_, column.maps.free_map_pointer, column.page));
    }
  }
  // The last pages that the column owns and that its free map still lists,
  // a few at most; one left without room for another row leaves the map.
  UsageMap free_pages;
  JET_RETURN_IF_ERROR(ReadUsageMap(
      file_, format_, column.maps.free_map_pointer,
      "free-space map of long-value column " + std::to_string(column.maps.column_number),
      &free_pages));
  uint32_t tried = 0;
  for (size_t k = free_pages.pages.size(); k-- > 0 && tried < kPagesTried;) {
    const uint32_t candidate = free_pages.pages[k];
    if (candidate == column.page) continue;
    Result<bool> owned = UsageMapHas(file_, format_, column.maps.owned_map_pointer, candidate);
    if (!owned.ok()) return owned.status();
    const uint8_t* page = file_.PageOrNull(candidate);
    if (!*owned || page == nullptr || !IsLongValuePage(page)) continue;
    ++tried;
    if (RowFits(format_, page, row_size)) {
      column.page = candidate;
      *page_number = candidate;
      return Status::OK();
    }
    if (!StaysInFreeMap(format_, page, row_size, kMinLongValueRow)) {
      JET_RETURN_IF_ERROR(
          RemovePageFromUsageMap(file_, format_, column.maps.free_map_pointer, candidate));
    }
  }
  return NewPage(column, page_number);
}

Status LongValueWriter::NewPage(Column& column, uint32_t* page_number) {
  JET_RETURN_IF_ERROR(AllocatePage(file_, format_, page_number));
  uint8_t* page;
  JET_RETURN_IF_ERROR(file_.MutablePage(*page_number, &page));
  InitDataPage(format_, page, kLongValueOwner);
  JET_RETURN_IF_ERROR(
      AddPageToUsageMap(file_, format_, column.maps.owned_map_pointer, *page_number));
  JET_RETURN_IF_ERROR(
      AddPageToUsageMap(file_, format_, column.maps.free_map_pointer, *page_number));
  column.page = *page_number;
  return Status::OK();
}

Status LongValueWriter::AddLongValueRow(Column& column, std::string_view row, uint32_t* pointer) {
  uint32_t page_number;
  JET_RETURN_IF_ERROR(PageWithRoom(column, static_cast<uint32_t>(row.size()), &page_number));
  uint8_t* page;
  JET_RETURN_IF_ERROR(file_.MutablePage(page_number, &page));
  uint8_t slot;
  JET_RETURN_IF_ERROR(AddRow(format_, page, page_number, row, 0, &slot));
  if (!HasRoomLeft(format_, page)) {
    JET_RETURN_IF_ERROR(
        RemovePageFromUsageMap(file_, format_, column.maps.free_map_pointer, page_number));
  }
  *pointer = (page_number << 8) | slot;
  return Status::OK();
}

Status LongValueWriter::DeleteLongValueRow(const Column& column, uint32_t pointer) {
  const uint32_t page_number = RowPointerPage(pointer);
  const std::string what = "long value of column number " +
                           std::to_string(column.maps.column_number) + " at " +
                           PointerText(pointer);
  const uint8_t* current;
  JET_RETURN_IF_ERROR(file_.GetPage(page_number, "long value", &current));
  if (!IsLongValuePage(current)) {
    return Status::Corruption(what + ": the page is not a long-value page");
  }
  // (L4) rows of another column, or rows already freed, are never touched.
  Result<bool> owned = UsageMapHas(file_, format_, column.maps.owned_map_pointer, page_number);
  if (!owned.ok()) return owned.status();
  if (!*owned) return Status::Corruption(what + ": the column's page map does not list the page");
  RowSpan span;
  JET_RETURN_IF_ERROR(LocateRow(format_, current, page_number, RowPointerSlot(pointer), &span));
  if ((span.flags & kRowDeleted) != 0) {
    return Status::Corruption(what + ": the row is flagged deleted already");
  }
  uint8_t* page;
  JET_RETURN_IF_ERROR(file_.MutablePage(page_number, &page));
  return DeleteRow(format_, page, page_number, RowPointerSlot(pointer));
}

Status LongValueWriter::GiveBack(Column& column, uint32_t page_number) {
  const uint8_t* page;
  JET_RETURN_IF_ERROR(file_.GetPage(page_number, "long value", &page));
  if (AllRowsDeleted(format_, page)) {
    JET_RETURN_IF_ERROR(
        RemovePageFromUsageMap(file_, format_, column.maps.owned_map_pointer, page_number));
    JET_RETURN_IF_ERROR(
        RemovePageFromUsageMap(file_, format_, column.maps.free_map_pointer, page_number));
    if (column.page == page_number) column.page = 0;
    return FreePage(file_, format_, page_number);
  }
  if (!HasRoomLeft(format_, page)) return Status::OK();
  return AddPageToUsageMap(file_, format_, column.maps.free_map_pointer, page_number);
}

Status LongValueWriter::Free(uint16_t column_number, std::string_view field) {
  if (field.size() < kLongValueHeaderSize) {
    return Status::Corruption("long value field of " + std::to_string(field.size()) +
                              " bytes is shorter than its 12-byte header");
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(field.data());
  const uint32_t word = ReadU32(bytes);
  const uint32_t length = word & kLongValueLengthMask;
  uint32_t pointer = ReadU32(bytes + 4);
  if ((word & kLongValueInline) != 0 || length == 0) return Status::OK();
  Column* column;
  JET_RETURN_IF_ERROR(FindColumn(column_number, &column));
  // The pages the value's rows were on, settled once every row is deleted
  // (L5): a chain's later rows are still to be read when an earlier one
  // leaves its page empty.
  std::vector<uint32_t> pages;
  if ((word & kLongValueSingle) != 0) {
    JET_RETURN_IF_ERROR(DeleteLongValueRow(*column, pointer));
    pages.push_back(RowPointerPage(pointer));
  } else {
    // Chain: read each row's next pointer before deleting it. A chain that
    // comes back to a row meets it deleted (L4), so it cannot loop.
    uint64_t remaining = length;
    while (remaining > 0 && pointer != 0) {
      const uint8_t* page;
      RowSpan span;
      JET_RETURN_IF_ERROR(FetchRow(file_, format_, pointer, "long value chain", &page, &span));
      if (span.size < 4) {
        return Status::Corruption("long value chain row at " + PointerText(pointer) +
                                  " is shorter than its next pointer");
      }
      const uint32_t next = ReadU32(page + span.start);
      remaining -= std::min<uint64_t>(remaining, span.size - 4);
      JET_RETURN_IF_ERROR(DeleteLongValueRow(*column, pointer));
      pages.push_back(RowPointerPage(pointer));
      pointer = next;
    }
  }
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  for (uint32_t page_number : pages) JET_RETURN_IF_ERROR(GiveBack(*column, page_number));
  return Status::OK();
}

}  // namespace jet
