// Memo and OLE values. In the row such a value is a 12-byte header
//   OFFSET  SIZE  MEANING
//   0       4     length (low 30 bits) | kind (top 2 bits)
//   4       4     row pointer (u8 slot | u24 page) of the first LVAL row
//   8       4     0
// kind 0x80: the data follows the header inside the row; 0x40: one LVAL row
// holds it all; 0x00: a chain of LVAL rows, each `u32 next pointer` + chunk,
// ending with a zero pointer.
#pragma once

#include <cstdint>
#include <string>

#include "jet/base/coding.h"
#include "jet/format/format.h"
#include "jet/pager/page_file.h"
#include "jet/status.h"

namespace jet {

// Appends the bytes of the long value whose row field is [field, field+size).
// A length above `max_length` is Corruption (callers pass what is left of the
// file size for the row, since no row's long values can be larger than the
// file that stores them); chains are cut after as many steps as the file has
// row slots, so a cycle cannot hang the reader.
// The bytes of a long value held inline in its row field, when they are and
// its header is sound: within the field and not above `max_length` (see
// ReadLongValue). False for every other case, which FindLongValueBytes tells
// apart. Cheap enough for each row of a scan.
inline bool FindInlineLongValue(const uint8_t* field, uint32_t size, uint64_t max_length,
                                const uint8_t** bytes, uint32_t* length) {
  if (size < kLongValueHeaderSize) return false;
  const uint32_t word = ReadU32(field);
  *length = word & kLongValueLengthMask;
  if ((word & kLongValueInline) == 0 || *length > max_length ||
      *length > size - kLongValueHeaderSize) {
    return false;
  }
  *bytes = field + kLongValueHeaderSize;
  return true;
}

// With a `buffer`, long-value pages not cached are read into it rather than
// into the cache (PageFile::GetPageUncached).
Status ReadLongValue(const PageFile& file, const Format& format, const uint8_t* field,
                     uint32_t size, uint64_t max_length, std::string* out,
                     PageBuffer* buffer = nullptr);

// Where the bytes of a long value lie when they are in one piece, inline in
// the field or in one LVAL row: *bytes (in the row or in a cached page, see
// page_file.h P1) and *length, so a reader can use them without a copy.
// *bytes is nullptr for a chain of LVAL rows, which only ReadLongValue reads.
// Checks and errors as ReadLongValue. Bytes found in `buffer` stay valid
// until its next use.
Status FindLongValueBytes(const PageFile& file, const Format& format, const uint8_t* field,
                          uint32_t size, uint64_t max_length, const uint8_t** bytes,
                          uint32_t* length, PageBuffer* buffer = nullptr);

}  // namespace jet
