// Reading usage maps: the rows that list the pages a table, index or
// long-value column owns (or that have free space).
//
// Type 0, inline:      u8 0x00, u32 start_page, bitmap (bit i = page start+i)
// Type 1, reference:   u8 0x01, u32 map_page[(row_len-1)/4] (0 = none); each a
//                      type-0x05 page whose bitmap from byte 4 covers pages
//                      i*P .. (i+1)*P-1, P = (page_size-4)*8
#pragma once

#include <cstdint>
#include <vector>

#include "jet/format/format.h"
#include "jet/pager/page_file.h"
#include "jet/status.h"

namespace jet {

struct UsageMap {
  std::vector<uint32_t> pages;         // ascending, each inside the file
  uint32_t pages_beyond_end = 0;       // bits set for pages past the end of the file
  std::vector<uint32_t> bitmap_pages;  // a reference map's type-0x05 pages, in slot order
};

// Decodes a map row already located. Pages past the end of the file are
// counted, not listed, so a damaged bitmap cannot make the list larger than
// the file.
Status DecodeUsageMap(const PageFile& file, const Format& format, const uint8_t* row, uint32_t size,
                      UsageMap* map);

// Follows the row pointer to a map row and decodes it. `what` names the map
// in error messages ("owned-page map of table X").
Status ReadUsageMap(const PageFile& file, const Format& format, uint32_t pointer,
                    const std::string& what, UsageMap* map);

}  // namespace jet
