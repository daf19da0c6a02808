// Usage map reading; see usage_map.h.
#include "jet/space/usage_map.h"

#include "jet/base/coding.h"
#include "jet/format/row_slots.h"

namespace jet {

namespace {

void AddBitmap(const uint8_t* bits, uint32_t size, uint64_t first_page, uint32_t page_count,
               UsageMap* map) {
  if (first_page >= page_count) {
    // Entirely past the end of the file (damage): only count the bits.
    for (uint32_t byte = 0; byte < size; ++byte) {
      map->pages_beyond_end += static_cast<uint32_t>(__builtin_popcount(bits[byte]));
    }
    return;
  }
  for (uint32_t byte = 0; byte < size; ++byte) {
    uint8_t b = bits[byte];
    if (b == 0) continue;
    for (int bit = 0; bit < 8; ++bit) {
      if ((b & (1u << bit)) == 0) continue;
      uint64_t page = first_page + byte * 8ull + bit;
      if (page < page_count) {
        map->pages.push_back(static_cast<uint32_t>(page));
      } else {
        ++map->pages_beyond_end;
      }
    }
  }
}

}  // namespace

Status DecodeUsageMap(const PageFile& file, const Format& format, const uint8_t* row, uint32_t size,
                      UsageMap* map) {
  map->pages.clear();
  map->pages_beyond_end = 0;
  map->bitmap_pages.clear();
  if (size < 1) return Status::Corruption("usage map row is empty");
  if (row[0] == 0) {
    if (size < 5) return Status::Corruption("inline usage map row too short");
    uint32_t start_page = ReadU32(row + 1);
    AddBitmap(row + 5, size - 5, start_page, file.page_count(), map);
    return Status::OK();
  }
  if (row[0] != 1) {
    return Status::Corruption("unknown usage map type " + std::to_string(row[0]));
  }
  const uint32_t pages_per_map = (format.page_size - 4) * 8;
  const uint32_t refs = (size - 1) / 4;
  for (uint32_t i = 0; i < refs; ++i) {
    uint32_t map_page_number = ReadU32(row + 1 + 4 * i);
    if (map_page_number == 0) continue;
    const uint8_t* map_page;
    JET_RETURN_IF_ERROR(file.GetPage(map_page_number, "usage map reference", &map_page));
    if (map_page[0] != kPageUsageMap) {
      return Status::Corruption(
          "usage map reference points at page " + std::to_string(map_page_number) +
          ", which is not a usage map page (type " + std::to_string(map_page[0]) + ")");
    }
    map->bitmap_pages.push_back(map_page_number);
    AddBitmap(map_page + 4, format.page_size - 4, static_cast<uint64_t>(i) * pages_per_map,
              file.page_count(), map);
  }
  return Status::OK();
}

Status ReadUsageMap(const PageFile& file, const Format& format, uint32_t pointer,
                    const std::string& what, UsageMap* map) {
  const uint8_t* page;
  RowSpan span;
  Status s = FetchRow(file, format, pointer, what.c_str(), &page, &span);
  if (s.ok()) s = DecodeUsageMap(file, format, page + span.start, span.size, map);
  if (!s.ok()) {
    return Status::Corruption(what + " (page " + std::to_string(RowPointerPage(pointer)) + " row " +
                              std::to_string(RowPointerSlot(pointer)) + "): " + s.message());
  }
  return Status::OK();
}

}  // namespace jet
