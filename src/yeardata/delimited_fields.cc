// Delimited-field functions, written to follow the runtime's 16-bit integer
// rules: the field index and the field counter are 16-bit, every position and
// the skip count are 32-bit (size_t here).
#include "yeardata/delimited_fields.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

namespace yeardata {
namespace {

// Adds delta to a 16-bit value as the runtime does: a result outside
// -32768..32767 raises Overflow instead of wrapping.
int16_t AddInt16(int16_t value, int delta) {
  const int result = value + delta;
  if (result < std::numeric_limits<int16_t>::min() ||
      result > std::numeric_limits<int16_t>::max()) {
    throw std::overflow_error("Overflow");
  }
  return static_cast<int16_t>(result);
}

// Position of the first whole occurrence of delimiter at or after start, or
// npos. A search starting past the end finds nothing, and an empty delimiter
// never matches (see the header for that choice).
size_t FindDelimiter(std::string_view source, std::string_view delimiter, size_t start) {
  if (delimiter.empty() || start > source.size()) return std::string_view::npos;
  return source.find(delimiter, start);
}

}  // namespace

std::string GetDelimitedField(std::string_view source, std::string_view delimiter, int16_t index) {
  // The skip count is index - 1 in 16-bit arithmetic, computed on every call,
  // so index -32768 overflows even though low indexes otherwise act like 1.
  const int32_t skip_count = AddInt16(index, -1);

  if (index <= 1) {
    const size_t found = FindDelimiter(source, delimiter, 0);
    if (found == std::string_view::npos) return std::string(source);
    return std::string(source.substr(0, found));
  }

  size_t start = 0;
  for (int32_t skipped = 0; skipped < skip_count; ++skipped) {
    const size_t found = FindDelimiter(source, delimiter, start);
    if (found == std::string_view::npos) return std::string();  // fewer than index fields
    start = found + delimiter.size();
  }

  const size_t found = FindDelimiter(source, delimiter, start);
  if (found == std::string_view::npos) return std::string(source.substr(start));  // last field
  return std::string(source.substr(start, found - start));
}

std::string GetDelimitedFields(std::string_view source, std::string_view delimiter, int16_t first,
                               int16_t last) {
  if (last == 0) last = first;

  std::string result;
  if (last < first) return result;

  // A For loop over a 16-bit counter: the counter is incremented after every
  // pass, the final one included, so a run ending at 32767 overflows after
  // its last field has been joined.
  int16_t field_index = first;
  do {
    if (field_index == first) {
      result = GetDelimitedField(source, delimiter, field_index);
    } else {
      result += delimiter;
      result += GetDelimitedField(source, delimiter, field_index);
    }
    field_index = AddInt16(field_index, 1);
  } while (field_index <= last);
  return result;
}

}  // namespace yeardata
