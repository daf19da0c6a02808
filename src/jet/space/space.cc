// Space management; see space.h.
//
// Rows edited here (usage_map.h has the reader's view):
//
//   Inline map (type 0)            Reference map (type 1)
//   OFFSET  SIZE  MEANING          OFFSET  SIZE  MEANING
//   0       1     0x00             0       1     0x01
//   1       4     start page       1+4i    4     page of bitmap i (0 = none)
//   5       n     bit k = page start+k
//
//   Bitmap page (type 0x05), covering pages i*P .. (i+1)*P-1, P = (page_size-4)*8
//   OFFSET  SIZE         MEANING
//   0       4            05 01 00 00
//   4       page_size-4  bit k = page i*P+k
//
// In object maps a set bit means "member"; in the global map (page 1, row 0)
// it means "free". Access grows the global map's inline row with the file, four
// bytes (32 pages) at a time from 64 bytes (512 pages): testV2000.mdb has 743
// pages and a 101-byte row (96 bytes, 768 pages). Bits past the end of the
// file are set (free), as in every Access file of the corpus.
#include "jet/space/space.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "jet/base/coding.h"
#include "jet/format/row_slots.h"

namespace jet {

namespace {

constexpr uint32_t kGlobalMapPage = 1;
constexpr uint32_t kGlobalMapPointer = kGlobalMapPage << 8;  // page 1, row 0
constexpr uint32_t kInlineHeaderSize = 5;                    // type, start page
constexpr uint32_t kBitmapPageHeaderSize = 4;                // 05 01 00 00
constexpr uint32_t kGlobalGrowthBytes = 4;
// Pages 0 to 2 (the header, the global map, the catalog's definition) are
// never free, whatever a damaged map says.
constexpr uint32_t kFirstReusablePage = 3;

uint32_t PagesPerBitmapPage(const Format& format) {
  return (format.page_size - kBitmapPageHeaderSize) * 8;
}

bool TestBit(const uint8_t* bits, uint64_t k) { return (bits[k / 8] >> (k % 8)) & 1; }
void SetBit(uint8_t* bits, uint64_t k) {
  bits[k / 8] = static_cast<uint8_t>(bits[k / 8] | (1u << (k % 8)));
}
void ClearBit(uint8_t* bits, uint64_t k) {
  bits[k / 8] = static_cast<uint8_t>(bits[k / 8] & ~(1u << (k % 8)));
}

std::string MapName(uint32_t pointer) {
  if (pointer == kGlobalMapPointer) return "global page map (page 1 row 0)";
  return "usage map at page " + std::to_string(RowPointerPage(pointer)) + " row " +
         std::to_string(RowPointerSlot(pointer));
}

// A map row located on its page, for reading or writing.
struct MapRow {
  uint8_t* row = nullptr;
  uint32_t size = 0;
};

Status CheckMapType(const MapRow& map, uint32_t pointer) {
  if (map.size < 1) return Status::Corruption(MapName(pointer) + " is an empty row");
  if (map.row[0] == 0 && map.size < kInlineHeaderSize) {
    return Status::Corruption(MapName(pointer) + ": inline row of " + std::to_string(map.size) +
                              " bytes has no room for its start page");
  }
  if (map.row[0] > 1) {
    return Status::Corruption(MapName(pointer) + " has unknown type " + std::to_string(map.row[0]));
  }
  return Status::OK();
}

// Finds the map row and checks its type; *offset is where it starts on its page.
Status LocateMapRow(const PageFile& file, const Format& format, uint32_t pointer,
                    const uint8_t** page, uint32_t* offset, uint32_t* size) {
  RowSpan span;
  const std::string what = MapName(pointer);
  JET_RETURN_IF_ERROR(FetchRow(file, format, pointer, what.c_str(), page, &span));
  *offset = span.start;
  *size = span.size;
  return CheckMapType({const_cast<uint8_t*>(*page + span.start), span.size}, pointer);
}

// The writable row. Call again after anything that may write pages: the
// row may have moved on its page.
Status MutableMapRow(PageFile& file, const Format& format, uint32_t pointer, MapRow* map) {
  const uint8_t* read_page;
  uint32_t offset = 0;
  JET_RETURN_IF_ERROR(LocateMapRow(file, format, pointer, &read_page, &offset, &map->size));
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(RowPointerPage(pointer), &page));
  map->row = page + offset;
  return Status::OK();
}

// Checks that reference slot `slot` names a bitmap page inside the file.
Status CheckBitmapPage(const PageFile& file, uint32_t pointer, uint32_t slot,
                       uint32_t bitmap_page) {
  const uint8_t* page = file.PageOrNull(bitmap_page);
  if (page == nullptr) {
    return Status::Corruption(MapName(pointer) + ": reference " + std::to_string(slot) +
                              " names page " + std::to_string(bitmap_page) +
                              ", past the end of the file (" + std::to_string(file.page_count()) +
                              " pages)");
  }
  if (page[0] != kPageUsageMap) {
    return Status::Corruption(MapName(pointer) + ": reference " + std::to_string(slot) +
                              " names page " + std::to_string(bitmap_page) +
                              ", which is not a usage map page (type " + std::to_string(page[0]) +
                              ")");
  }
  return Status::OK();
}

Status RequireUnit(const PageFile& file, const char* operation) {
  if (!file.in_unit()) {
    return Status::InvalidArgument(std::string(operation) + " needs an open unit of change");
  }
  return Status::OK();
}

// ---- Global map ----

// The layout of page 1 around row 0: rows 1.. lie contiguous below it
// (LocateRow checks that each row starts at or below the one before and
// after the offset table).
struct GlobalPage {
  uint32_t count = 0;   // rows on the page
  RowSpan first, last;  // row 0 and the last row
  uint32_t gap = 0;     // free bytes between the offset table and the last row
  // The largest row 0 can grow to.
  uint32_t max_row_size() const { return first.size + gap; }
};

Status ReadGlobalPage(const Format& format, const uint8_t* page, GlobalPage* g) {
  JET_RETURN_IF_ERROR(PageRowCount(format, page, kGlobalMapPage, &g->count));
  if (g->count == 0) return Status::Corruption("page 1 holds no global page map row");
  for (uint32_t slot = 0; slot < g->count; ++slot) {
    JET_RETURN_IF_ERROR(LocateRow(format, page, kGlobalMapPage, slot, &g->last));
    if (slot == 0) g->first = g->last;
  }
  g->gap = g->last.start - (format.data_header_size + 2 * g->count);
  return Status::OK();
}

// Resizes row 0 of page 1 to `new_size` bytes, moving the rows below it and
// keeping the offset table and free space in step. The row's bytes are left
// for the caller to write; bytes a smaller row gives back are zeroed.
// REQUIRES: new_size <= the page's max_row_size().
Status ResizeGlobalRow(PageFile& file, const Format& format, uint32_t new_size) {
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(kGlobalMapPage, &page));
  GlobalPage g;
  JET_RETURN_IF_ERROR(ReadGlobalPage(format, page, &g));
  if (new_size > g.max_row_size() || new_size < kInlineHeaderSize) {
    return Status::InvalidArgument("the global page map row cannot take " +
                                   std::to_string(new_size) + " bytes");
  }
  // Rows 1.. move down by `growth` bytes (up when it is negative).
  const int64_t growth = static_cast<int64_t>(new_size) - g.first.size;
  const uint32_t below = g.first.start - g.last.start;
  const auto new_last = static_cast<uint32_t>(g.last.start - growth);
  std::memmove(page + new_last, page + g.last.start, below);
  if (growth < 0) std::memset(page + g.last.start, 0, new_last - g.last.start);
  for (uint32_t slot = 1; slot < g.count; ++slot) {
    uint8_t* entry = page + format.data_header_size + 2 * slot;
    const uint16_t value = ReadU16(entry);
    WriteU16(entry, static_cast<uint16_t>(((value & kRowOffsetMask) - growth) |
                                          (value & ~kRowOffsetMask)));
  }
  uint8_t* entry0 = page + format.data_header_size;
  WriteU16(entry0, static_cast<uint16_t>((format.page_size - new_size) |
                                         (ReadU16(entry0) & ~kRowOffsetMask)));
  WriteU16(page + 2, static_cast<uint16_t>(g.gap - growth));
  return Status::OK();
}

// Bytes of an inline global row from page 0 that covers `page_count` pages:
// whole steps of kGlobalGrowthBytes, as Access grows it.
uint32_t InlineGlobalBytes(uint32_t page_count) {
  return (page_count + 8 * kGlobalGrowthBytes - 1) / (8 * kGlobalGrowthBytes) * kGlobalGrowthBytes;
}

// Bitmap slots of a reference global row: enough for the largest file the
// format allows (17 in Jet 4, 33 in Jet 3: the length of Access's reference
// rows).
uint32_t ReferenceGlobalSlots(const Format& format) {
  const uint64_t max_pages = (format.IsJet3() ? 1ull << 30 : 1ull << 31) / format.page_size;
  const uint32_t per_page = PagesPerBitmapPage(format);
  return static_cast<uint32_t>((max_pages + per_page - 1) / per_page);
}

// Turns an inline global row into a reference one (a map of bitmap pages),
// the form Access gives the map of a file past what page 1 can hold inline.
// Free stay the pages the window marked free, with `page_number` marked as
// `free`; pages the window did not cover are used, since nothing says they
// are free. Every range the file reaches gets its bitmap page, appended.
Status InlineGlobalToReference(PageFile& file, const Format& format, uint32_t page_number,
                               bool free) {
  MapRow map;
  JET_RETURN_IF_ERROR(MutableMapRow(file, format, kGlobalMapPointer, &map));
  const uint32_t start = ReadU32(map.row + 1);
  const uint64_t reach = (map.size - kInlineHeaderSize) * 8ull;
  const uint32_t old_count = file.page_count();
  std::vector<bool> free_pages(old_count, false);
  for (uint64_t k = 0; k < reach && start + k < old_count; ++k) {
    free_pages[start + k] = TestBit(map.row + kInlineHeaderSize, k);
  }
  if (page_number < old_count) free_pages[page_number] = free;
  const uint32_t per_page = PagesPerBitmapPage(format);
  const uint32_t slots = ReferenceGlobalSlots(format);
  uint32_t needed = 1;  // bitmap pages, which lie in the ranges they cover
  while (static_cast<uint64_t>(needed) * per_page < static_cast<uint64_t>(old_count) + needed) {
    ++needed;
  }
  if (needed > slots) {
    return Status::NotSupported("database too large: the global page map cannot cover " +
                                std::to_string(old_count) + " pages");
  }
  std::vector<uint32_t> bitmap_pages(needed);
  for (uint32_t& bitmap_page : bitmap_pages) {
    JET_RETURN_IF_ERROR(file.AppendPage(&bitmap_page));
  }
  const uint64_t new_count = file.page_count();
  for (uint32_t slot = 0; slot < needed; ++slot) {
    uint8_t* page;
    JET_RETURN_IF_ERROR(file.MutablePage(bitmap_pages[slot], &page));
    std::memset(page, 0, format.page_size);
    page[0] = kPageUsageMap;
    page[1] = 1;
    for (uint64_t k = 0; k < per_page; ++k) {
      const uint64_t p = static_cast<uint64_t>(slot) * per_page + k;
      if (p >= new_count || (p < old_count && p >= kFirstReusablePage && free_pages[p])) {
        SetBit(page + kBitmapPageHeaderSize, k);
      }
    }
  }
  JET_RETURN_IF_ERROR(ResizeGlobalRow(file, format, 1 + 4 * slots));
  JET_RETURN_IF_ERROR(MutableMapRow(file, format, kGlobalMapPointer, &map));
  std::memset(map.row, 0, map.size);
  map.row[0] = 1;
  for (uint32_t slot = 0; slot < needed; ++slot) {
    WriteU32(map.row + 1 + 4 * slot, bitmap_pages[slot]);
  }
  return Status::OK();
}

// Marks `page_number` used or free in an inline global map.
//   - A window from page 0 that covers the file: the page's bit.
//   - Else, while page 1 can hold a row from page 0 that covers the file:
//     the row is rewritten from page 0, grown as needed. Some writers slide
//     the window forward (tessdata-large.mdb starts at 1024): pages of the
//     file it did not cover are marked used, since nothing says they are
//     free.
//   - Past that (a file over about 125 MB in Jet 4, 31 MB in Jet 3): the
//     page's bit when a sliding window covers it, else the row becomes a
//     reference map.
Status SetInInlineGlobal(PageFile& file, const Format& format, uint32_t page_number, bool free) {
  MapRow map;
  JET_RETURN_IF_ERROR(MutableMapRow(file, format, kGlobalMapPointer, &map));
  const uint32_t start = ReadU32(map.row + 1);
  const uint64_t reach = (map.size - kInlineHeaderSize) * 8ull;
  const uint32_t page_count = file.page_count();
  const bool in_window = page_number >= start && page_number - start < reach;
  auto set_bit = [&] {
    if (free) {
      SetBit(map.row + kInlineHeaderSize, page_number - start);
    } else {
      ClearBit(map.row + kInlineHeaderSize, page_number - start);
    }
    return Status::OK();
  };
  if (start == 0 && page_count <= reach) return set_bit();

  const uint32_t old_bytes = map.size - kInlineHeaderSize;
  const uint32_t new_bytes = std::max(old_bytes, InlineGlobalBytes(page_count));
  const uint8_t* page1 = nullptr;
  JET_RETURN_IF_ERROR(file.GetPage(kGlobalMapPage, "global page map", &page1));
  GlobalPage g;
  JET_RETURN_IF_ERROR(ReadGlobalPage(format, page1, &g));
  if (kInlineHeaderSize + new_bytes > g.max_row_size()) {
    if (in_window) return set_bit();
    return InlineGlobalToReference(file, format, page_number, free);
  }
  std::vector<uint8_t> bits(new_bytes, 0);
  for (uint64_t page = 0; page < new_bytes * 8ull; ++page) {
    bool page_free;
    if (page >= page_count) {
      page_free = true;
    } else if (page == page_number) {
      page_free = free;
    } else if (page >= start && page - start < reach) {
      page_free = TestBit(map.row + kInlineHeaderSize, page - start);  // keep Access's account
    } else {
      page_free = false;
    }
    if (page_free) SetBit(bits.data(), page);
  }
  if (new_bytes > old_bytes) {
    JET_RETURN_IF_ERROR(ResizeGlobalRow(file, format, kInlineHeaderSize + new_bytes));
    JET_RETURN_IF_ERROR(MutableMapRow(file, format, kGlobalMapPointer, &map));
  }
  map.row[0] = 0;
  WriteU32(map.row + 1, 0);
  std::memcpy(map.row + kInlineHeaderSize, bits.data(), new_bytes);
  return Status::OK();
}

// Marks `page_number` used or free in a reference global map. A range
// without a bitmap page gets one, appended to the file, with every page of
// the file in its range marked used (the map said nothing about them) and the
// pages past the end free.
Status SetInReferenceGlobal(PageFile& file, const Format& format, uint32_t page_number, bool free) {
  const uint32_t per_page = PagesPerBitmapPage(format);
  const uint32_t slot = page_number / per_page;
  MapRow map;
  JET_RETURN_IF_ERROR(MutableMapRow(file, format, kGlobalMapPointer, &map));
  const uint32_t slots = (map.size - 1) / 4;
  if (slot >= slots) {
    return Status::NotSupported("database too large: the global page map on page 1 can cover " +
                                std::to_string(static_cast<uint64_t>(slots) * per_page) +
                                " pages, and the file needs page " + std::to_string(page_number));
  }
  uint32_t bitmap_page = ReadU32(map.row + 1 + 4 * slot);
  if (bitmap_page == 0) {
    JET_RETURN_IF_ERROR(file.AppendPage(&bitmap_page));
    uint8_t* page;
    JET_RETURN_IF_ERROR(file.MutablePage(bitmap_page, &page));
    std::memset(page, 0, format.page_size);
    page[0] = kPageUsageMap;
    page[1] = 1;
    const uint64_t first = static_cast<uint64_t>(slot) * per_page;
    for (uint64_t k = 0; k < per_page; ++k) {
      if (first + k >= file.page_count()) SetBit(page + kBitmapPageHeaderSize, k);
    }
    JET_RETURN_IF_ERROR(MutableMapRow(file, format, kGlobalMapPointer, &map));
    WriteU32(map.row + 1 + 4 * slot, bitmap_page);
    // The new bitmap page lies in this range, already marked used, unless it
    // crossed into the next one.
    if (bitmap_page / per_page != slot) {
      JET_RETURN_IF_ERROR(SetInReferenceGlobal(file, format, bitmap_page, false));
    }
  }
  JET_RETURN_IF_ERROR(CheckBitmapPage(file, kGlobalMapPointer, slot, bitmap_page));
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(bitmap_page, &page));
  if (free) {
    SetBit(page + kBitmapPageHeaderSize, page_number - slot * per_page);
  } else {
    ClearBit(page + kBitmapPageHeaderSize, page_number - slot * per_page);
  }
  return Status::OK();
}

Status SetInGlobalMap(PageFile& file, const Format& format, uint32_t page_number, bool free) {
  MapRow map;
  JET_RETURN_IF_ERROR(MutableMapRow(file, format, kGlobalMapPointer, &map));
  if (map.row[0] == 0) return SetInInlineGlobal(file, format, page_number, free);
  return SetInReferenceGlobal(file, format, page_number, free);
}

// The first set bit of `bits` (`count` bits) whose page, `first_page` + k,
// lies in [kFirstReusablePage, limit); false when there is none.
bool FirstFreeIn(const uint8_t* bits, uint64_t count, uint64_t first_page, uint64_t limit,
                 uint32_t* page_number) {
  for (uint64_t byte = 0; byte * 8 < count && first_page + byte * 8 < limit; ++byte) {
    if (bits[byte] == 0) continue;
    for (uint64_t k = byte * 8; k < byte * 8 + 8 && k < count; ++k) {
      const uint64_t page = first_page + k;
      if (page >= limit) return false;
      if (page >= kFirstReusablePage && TestBit(bits, k)) {
        *page_number = static_cast<uint32_t>(page);
        return true;
      }
    }
  }
  return false;
}

// The lowest page of the file that the global map marks free, or 0. Bitmap
// pages a reference map names but that are not bitmap pages of the file are
// passed over (they free nothing); the map row itself must be sound.
Status FindFreePage(const PageFile& file, const Format& format, uint32_t* page_number) {
  *page_number = 0;
  const uint8_t* page;
  uint32_t offset = 0, size = 0;
  JET_RETURN_IF_ERROR(LocateMapRow(file, format, kGlobalMapPointer, &page, &offset, &size));
  const uint8_t* row = page + offset;
  const uint32_t limit = file.page_count();
  if (row[0] == 0) {
    FirstFreeIn(row + kInlineHeaderSize, (size - kInlineHeaderSize) * 8ull, ReadU32(row + 1), limit,
                page_number);
    return Status::OK();
  }
  const uint32_t per_page = PagesPerBitmapPage(format);
  for (uint32_t slot = 0; slot < (size - 1) / 4; ++slot) {
    const uint64_t first = static_cast<uint64_t>(slot) * per_page;
    if (first >= limit) break;
    const uint8_t* bitmap = file.PageOrNull(ReadU32(row + 1 + 4 * slot));
    if (ReadU32(row + 1 + 4 * slot) == 0 || bitmap == nullptr || bitmap[0] != kPageUsageMap) {
      continue;
    }
    if (FirstFreeIn(bitmap + kBitmapPageHeaderSize, per_page, first, limit, page_number)) break;
  }
  return Status::OK();
}

// ---- Object maps ----

// Sets or clears the bit of `page_number` in a reference map, adding the
// range's bitmap page first if a set bit needs one.
Status EditReferenceMap(PageFile& file, const Format& format, uint32_t pointer,
                        uint32_t page_number, bool add) {
  const uint32_t per_page = PagesPerBitmapPage(format);
  const uint32_t slot = page_number / per_page;
  MapRow map;
  JET_RETURN_IF_ERROR(MutableMapRow(file, format, pointer, &map));
  const uint32_t slots = (map.size - 1) / 4;
  if (slot >= slots) {
    if (!add) return Status::OK();
    return Status::NotSupported(MapName(pointer) + " cannot list page " +
                                std::to_string(page_number) + ": its " + std::to_string(slots) +
                                " bitmap pages reach page " +
                                std::to_string(static_cast<uint64_t>(slots) * per_page - 1));
  }
  uint32_t bitmap_page = ReadU32(map.row + 1 + 4 * slot);
  if (bitmap_page == 0) {
    if (!add) return Status::OK();
    JET_RETURN_IF_ERROR(AllocatePage(file, format, &bitmap_page));
    uint8_t* page;
    JET_RETURN_IF_ERROR(file.MutablePage(bitmap_page, &page));
    page[0] = kPageUsageMap;
    page[1] = 1;
    JET_RETURN_IF_ERROR(MutableMapRow(file, format, pointer, &map));
    WriteU32(map.row + 1 + 4 * slot, bitmap_page);
  }
  JET_RETURN_IF_ERROR(CheckBitmapPage(file, pointer, slot, bitmap_page));
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(bitmap_page, &page));
  const uint32_t k = page_number - slot * per_page;
  if (add) {
    SetBit(page + kBitmapPageHeaderSize, k);
  } else {
    ClearBit(page + kBitmapPageHeaderSize, k);
  }
  return Status::OK();
}

// Adds a page that an inline window does not reach: moves the window to
// the lowest member rounded down to 8 when every member then fits, else
// turns the row into a reference map of the same length. Bits for pages past
// the end of the file name nothing and are dropped.
Status AddOutsideWindow(PageFile& file, const Format& format, uint32_t pointer,
                        uint32_t page_number) {
  MapRow map;
  JET_RETURN_IF_ERROR(MutableMapRow(file, format, pointer, &map));
  const uint32_t start = ReadU32(map.row + 1);
  const uint32_t reach = (map.size - kInlineHeaderSize) * 8;
  std::vector<uint32_t> members{page_number};
  for (uint32_t k = 0; k < reach; ++k) {
    const uint64_t page = static_cast<uint64_t>(start) + k;
    if (page < file.page_count() && TestBit(map.row + kInlineHeaderSize, k)) {
      members.push_back(static_cast<uint32_t>(page));
    }
  }
  const auto [low, high] = std::minmax_element(members.begin(), members.end());
  const uint32_t new_start = *low & ~7u;
  std::memset(map.row + 1, 0, map.size - 1);
  if (*high - new_start < reach) {
    WriteU32(map.row + 1, new_start);
    for (uint32_t page : members) SetBit(map.row + kInlineHeaderSize, page - new_start);
    return Status::OK();
  }
  map.row[0] = 1;
  for (uint32_t page : members) {
    JET_RETURN_IF_ERROR(EditReferenceMap(file, format, pointer, page, true));
  }
  return Status::OK();
}

Status EditUsageMap(PageFile& file, const Format& format, uint32_t pointer, uint32_t page_number,
                    bool add) {
  JET_RETURN_IF_ERROR(
      RequireUnit(file, add ? "adding a page to a usage map" : "removing a page from a usage map"));
  if (pointer == kGlobalMapPointer) {
    return Status::InvalidArgument(
        "the global page map is changed by AllocatePage and FreePage only");
  }
  if (add && page_number >= file.page_count()) {
    return Status::InvalidArgument("cannot add page " + std::to_string(page_number) + " to " +
                                   MapName(pointer) + ": the file has " +
                                   std::to_string(file.page_count()) + " pages");
  }
  MapRow map;
  JET_RETURN_IF_ERROR(MutableMapRow(file, format, pointer, &map));
  if (map.row[0] == 1) return EditReferenceMap(file, format, pointer, page_number, add);
  const uint32_t start = ReadU32(map.row + 1);
  const uint32_t reach = (map.size - kInlineHeaderSize) * 8;
  if (page_number >= start && page_number - start < reach) {
    if (add) {
      SetBit(map.row + kInlineHeaderSize, page_number - start);
    } else {
      ClearBit(map.row + kInlineHeaderSize, page_number - start);
    }
    return Status::OK();
  }
  if (!add) return Status::OK();
  return AddOutsideWindow(file, format, pointer, page_number);
}

}  // namespace

Status AllocatePage(PageFile& file, const Format& format, uint32_t* page_number) {
  JET_RETURN_IF_ERROR(RequireUnit(file, "allocating a page"));
  uint32_t free_page;
  JET_RETURN_IF_ERROR(FindFreePage(file, format, &free_page));
  if (free_page == 0) {
    JET_RETURN_IF_ERROR(file.AppendPage(page_number));
    return SetInGlobalMap(file, format, *page_number, false);
  }
  // A free page holds whatever it held before (Access does not clear the
  // pages it frees): the caller gets it zero-filled, as an appended one.
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(free_page, &page));
  std::memset(page, 0, format.page_size);
  JET_RETURN_IF_ERROR(SetInGlobalMap(file, format, free_page, false));
  *page_number = free_page;
  return Status::OK();
}

Status FreePage(PageFile& file, const Format& format, uint32_t page_number) {
  JET_RETURN_IF_ERROR(RequireUnit(file, "freeing a page"));
  if (page_number < kFirstReusablePage || page_number >= file.page_count()) {
    return Status::InvalidArgument("cannot free page " + std::to_string(page_number) +
                                   " of a file of " + std::to_string(file.page_count()) + " pages");
  }
  uint8_t* page;
  JET_RETURN_IF_ERROR(file.MutablePage(page_number, &page));
  std::memset(page, 0, format.page_size);
  return SetInGlobalMap(file, format, page_number, true);
}

Status AddPageToUsageMap(PageFile& file, const Format& format, uint32_t map_pointer,
                         uint32_t page_number) {
  return EditUsageMap(file, format, map_pointer, page_number, true);
}

Status RemovePageFromUsageMap(PageFile& file, const Format& format, uint32_t map_pointer,
                              uint32_t page_number) {
  return EditUsageMap(file, format, map_pointer, page_number, false);
}

Result<bool> UsageMapHas(const PageFile& file, const Format& format, uint32_t map_pointer,
                         uint32_t page_number) {
  const uint8_t* page;
  uint32_t offset, size;
  JET_RETURN_IF_ERROR(LocateMapRow(file, format, map_pointer, &page, &offset, &size));
  const uint8_t* row = page + offset;
  if (row[0] == 0) {
    const uint32_t start = ReadU32(row + 1);
    const uint64_t reach = (size - kInlineHeaderSize) * 8ull;
    if (page_number < start || page_number - start >= reach) return false;
    return TestBit(row + kInlineHeaderSize, page_number - start);
  }
  const uint32_t per_page = PagesPerBitmapPage(format);
  const uint32_t slot = page_number / per_page;
  if (slot >= (size - 1) / 4) return false;
  const uint32_t bitmap_page = ReadU32(row + 1 + 4 * slot);
  if (bitmap_page == 0) return false;
  JET_RETURN_IF_ERROR(CheckBitmapPage(file, map_pointer, slot, bitmap_page));
  return TestBit(file.PageOrNull(bitmap_page) + kBitmapPageHeaderSize,
                 page_number - slot * per_page);
}

Result<uint32_t> UsedPagesPastEnd(const PageFile& file, const Format& format) {
  const uint8_t* page;
  uint32_t offset = 0, size = 0;
  JET_RETURN_IF_ERROR(LocateMapRow(file, format, kGlobalMapPointer, &page, &offset, &size));
  const uint8_t* row = page + offset;
  const uint64_t end = file.page_count();
  // Clear bits (pages in use) from the end of the file on.
  auto count_used = [end](const uint8_t* bits, uint64_t count, uint64_t first_page) {
    uint32_t used = 0;
    for (uint64_t k = first_page < end ? end - first_page : 0; k < count; ++k) {
      if (!TestBit(bits, k)) ++used;
    }
    return used;
  };
  if (row[0] == 0) {
    return count_used(row + kInlineHeaderSize, (size - kInlineHeaderSize) * 8ull, ReadU32(row + 1));
  }
  const uint32_t per_page = PagesPerBitmapPage(format);
  uint32_t used = 0;
  for (uint32_t slot = 0; slot < (size - 1) / 4; ++slot) {
    const uint64_t first = static_cast<uint64_t>(slot) * per_page;
    // Only the range the end falls in: slots wholly past the end may name
    // anything (testRefGlobalV2000.mdb's last one names a page far past it).
    if (first >= end || first + per_page <= end) continue;
    const uint8_t* bitmap = file.PageOrNull(ReadU32(row + 1 + 4 * slot));
    if (bitmap == nullptr || bitmap[0] != kPageUsageMap) continue;
    used += count_used(bitmap + kBitmapPageHeaderSize, per_page, first);
  }
  return used;
}

}  // namespace jet
