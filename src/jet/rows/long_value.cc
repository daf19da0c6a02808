// Memo / OLE value reader; see long_value.h.
#include "jet/rows/long_value.h"

#include "jet/base/coding.h"
#include "jet/format/row_slots.h"

namespace jet {

namespace {

std::string PointerText(uint32_t pointer) {
  return "page " + std::to_string(RowPointerPage(pointer)) + " row " +
         std::to_string(RowPointerSlot(pointer));
}

}  // namespace

Status FindLongValueBytes(const PageFile& file, const Format& format, const uint8_t* field,
                          uint32_t size, uint64_t max_length, const uint8_t** bytes,
                          uint32_t* length, PageBuffer* buffer) {
  *bytes = nullptr;
  if (size < kLongValueHeaderSize) {
    return Status::Corruption("long value field of " + std::to_string(size) +
                              " bytes is shorter than its 12-byte header");
  }
  const uint32_t word = ReadU32(field);
  *length = word & kLongValueLengthMask;
  const uint32_t pointer = ReadU32(field + 4);
  if (*length > file.file_size() || *length > max_length) {
    return Status::Corruption("long value length " + std::to_string(*length) +
                              " exceeds the file size");
  }

  if (word & kLongValueInline) {
    // FindInlineLongValue takes the sound ones; this tells what is wrong.
    if (*length > size - kLongValueHeaderSize) {
      return Status::Corruption("inline long value of " + std::to_string(*length) +
                                " bytes overruns its " + std::to_string(size) + "-byte field");
    }
    *bytes = field + kLongValueHeaderSize;
    return Status::OK();
  }
  if (*length == 0) {
    *bytes = field;
    return Status::OK();
  }

  if (word & kLongValueSingle) {
    const uint8_t* page;
    RowSpan span;
    JET_RETURN_IF_ERROR(FetchRow(file, format, pointer, "long value", &page, &span, buffer));
    if (*length > span.size) {
      return Status::Corruption("long value of " + std::to_string(*length) + " bytes at " +
                                PointerText(pointer) + " is only " + std::to_string(span.size) +
                                " bytes long");
    }
    *bytes = page + span.start;
  }
  return Status::OK();
}

Status ReadLongValue(const PageFile& file, const Format& format, const uint8_t* field,
                     uint32_t size, uint64_t max_length, std::string* out, PageBuffer* buffer) {
  const uint8_t* bytes;
  uint32_t length;
  JET_RETURN_IF_ERROR(
      FindLongValueBytes(file, format, field, size, max_length, &bytes, &length, buffer));
  if (bytes != nullptr) {
    out->append(reinterpret_cast<const char*>(bytes), length);
    return Status::OK();
  }
  uint32_t pointer = ReadU32(field + 4);

  // Chain of LVAL rows.
  uint64_t max_steps = static_cast<uint64_t>(file.page_count()) * 256 + 1;
  uint32_t remaining = length;
  uint64_t steps = 0;
  out->reserve(out->size() + length);
  while (remaining > 0) {
    if (pointer == 0) {
      return Status::Corruption("long value chain ends after " +
                                std::to_string(length - remaining) + " of " +
                                std::to_string(length) + " bytes");
    }
    if (++steps > max_steps) {
      return Status::Corruption("long value chain loops (at " + PointerText(pointer) + ")");
    }
    const uint8_t* page;
    RowSpan span;
    JET_RETURN_IF_ERROR(FetchRow(file, format, pointer, "long value chain", &page, &span, buffer));
    if (span.size < 4) {
      return Status::Corruption("long value chain row at " + PointerText(pointer) +
                                " is shorter than its next pointer");
    }
    uint32_t chunk = span.size - 4;
    if (chunk > remaining) chunk = remaining;
    out->append(reinterpret_cast<const char*>(page + span.start + 4), chunk);
    remaining -= chunk;
    pointer = ReadU32(page + span.start);
  }
  return Status::OK();
}

}  // namespace jet
