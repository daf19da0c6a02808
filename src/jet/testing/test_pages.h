// Test helpers: hand-built pages and rows in the Jet 3 / Jet 4 layouts, so
// decoder tests can state the bytes they feed in. Used by *_test.cc only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jet/base/coding.h"
#include "jet/format/format.h"

namespace jet::testing {

// A column of a hand-built table: a fixed one at byte `place` of the fixed
// part of the row, a variable one in var slot `place`.
inline ColumnDef TestColumn(const char* name, ColumnType type, uint16_t number, bool fixed,
                            uint16_t place, uint16_t length) {
  ColumnDef c{.name = name, .type = type, .column_number = number, .length = length};
  c.flags = fixed ? 0x03 : 0x02;
  (fixed ? c.fixed_offset : c.var_index) = place;
  return c;
}

inline void PutU16(std::string* s, size_t at, uint16_t v) {
  WriteU16(reinterpret_cast<uint8_t*>(s->data()) + at, v);
}
inline void PutU32(std::string* s, size_t at, uint32_t v) {
  WriteU32(reinterpret_cast<uint8_t*>(s->data()) + at, v);
}
inline std::string U16(uint16_t v) {
  std::string s(2, '\0');
  PutU16(&s, 0, v);
  return s;
}
inline std::string U32(uint32_t v) {
  std::string s(4, '\0');
  PutU32(&s, 0, v);
  return s;
}

// UCS-2LE bytes of an ASCII string.
inline std::string Ucs2(const std::string& ascii) {
  std::string s;
  for (char c : ascii) {
    s.push_back(c);
    s.push_back('\0');
  }
  return s;
}

struct TestRow {
  std::string bytes;
  uint16_t flags = 0;  // kRowDeleted / kRowLookup
};

// A data page owned by `owner` (or "LVAL" when owner is 0xFFFFFFFF) holding
// `rows`, packed downwards from the page end as Access does.
inline std::string DataPage(const Format& format, uint32_t owner,
                            const std::vector<TestRow>& rows) {
  std::string page(format.page_size, '\0');
  page[0] = static_cast<char>(kPageData);
  page[1] = 1;
  if (owner == 0xFFFFFFFF) {
    page.replace(4, 4, "LVAL");
  } else {
    PutU32(&page, 4, owner);
  }
  PutU16(&page, format.data_row_count_offset, static_cast<uint16_t>(rows.size()));
  uint32_t end = format.page_size;
  for (size_t i = 0; i < rows.size(); ++i) {
    uint32_t start = end - static_cast<uint32_t>(rows[i].bytes.size());
    page.replace(start, rows[i].bytes.size(), rows[i].bytes);
    PutU16(&page, format.data_header_size + 2 * i, static_cast<uint16_t>(start | rows[i].flags));
    end = start;
  }
  PutU16(&page, 2, static_cast<uint16_t>(end - format.data_header_size - 2 * rows.size()));
  return page;
}

// Null mask of `num_cols` bits with the given column numbers set.
inline std::string NullMask(uint32_t num_cols, const std::vector<uint32_t>& present) {
  std::string mask((num_cols + 7) / 8, '\0');
  for (uint32_t c : present) mask[c / 8] = static_cast<char>(mask[c / 8] | (1 << (c % 8)));
  return mask;
}

// A Jet 4 row: u16 num_cols, fixed area, var data, eod, offsets reversed,
// count, null mask. With `has_var` false the var section is left out.
inline std::string Jet4Row(uint16_t num_cols, const std::string& fixed,
                           const std::vector<std::string>& vars,
                           const std::vector<uint32_t>& present, bool has_var = true) {
  std::string row = U16(num_cols) + fixed;
  std::vector<uint16_t> offsets;
  for (const std::string& v : vars) {
    offsets.push_back(static_cast<uint16_t>(row.size()));
    row += v;
  }
  if (has_var) {
    row += U16(static_cast<uint16_t>(row.size()));  // eod
    for (size_t i = offsets.size(); i-- > 0;) row += U16(offsets[i]);
    row += U16(static_cast<uint16_t>(vars.size()));
  }
  return row + NullMask(num_cols, present);
}

// A Jet 3 row with one-byte offsets and the jump table for rows of 256
// bytes and more (a dummy 0xFF entry when the offsets need fewer jumps than
// the row length implies).
inline std::string Jet3Row(uint8_t num_cols, const std::string& fixed,
                           const std::vector<std::string>& vars,
                           const std::vector<uint32_t>& present) {
  std::string row(1, static_cast<char>(num_cols));
  row += fixed;
  std::vector<uint32_t> offsets;
  for (const std::string& v : vars) {
    offsets.push_back(static_cast<uint32_t>(row.size()));
    row += v;
  }
  offsets.push_back(static_cast<uint32_t>(row.size()));  // eod
  const uint32_t var_count = static_cast<uint32_t>(vars.size());
  const uint32_t nm = (num_cols + 7) / 8;
  uint32_t jumps = 0;
  for (int round = 0; round < 4; ++round) {
    uint32_t total = static_cast<uint32_t>(row.size()) + (var_count + 1) + jumps + 1 + nm;
    jumps = (total - 1) / 256;
  }
  std::vector<uint8_t> jump(jumps, 0xFF);
  for (uint32_t k = 0; k < jumps; ++k) {
    for (uint32_t i = 0; i <= var_count; ++i) {
      if (offsets[i] >= (k + 1) * 256) {
        jump[k] = static_cast<uint8_t>(i);
        break;
      }
    }
  }
  // off[var_count] (eod) first, then down to off[0]; then jump[J-1]..jump[0].
  for (uint32_t i = var_count + 1; i-- > 0;) row.push_back(static_cast<char>(offsets[i] & 0xFF));
  for (uint32_t k = jumps; k-- > 0;) row.push_back(static_cast<char>(jump[k]));
  row.push_back(static_cast<char>(var_count));
  row += NullMask(num_cols, present);
  return row;
}

// A whole-file image of `pages` (page 0 left as given).
inline std::string Image(const std::vector<std::string>& pages) {
  std::string image;
  for (const std::string& p : pages) image += p;
  return image;
}

}  // namespace jet::testing
