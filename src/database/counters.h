// The 16-bit counters of the calendar code: array bounds and loop counters
// that raise the runtime's errors at their limits, so that each failure
// reaches the procedure's handler with the number users know.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "errors/runtime_error.h"

namespace database {

// The upper bound of `array` taken as a 16-bit number: 9 "Subscript out of
// range" for an array without elements, 6 "Overflow" above 32767.
inline int16_t UpperBound16(const std::vector<std::string>& array) {
  if (array.empty()) throw errors::RuntimeError(errors::kSubscriptOutOfRange);
  if (array.size() - 1 > static_cast<size_t>(INT16_MAX)) {
    throw errors::RuntimeError(errors::kOverflow);
  }
  return static_cast<int16_t>(array.size() - 1);
}

// count + 1; 6 "Overflow" past 32767.
inline int16_t Increment16(int16_t count) {
  if (count == INT16_MAX) throw errors::RuntimeError(errors::kOverflow);
  return static_cast<int16_t>(count + 1);
}

// The step at the end of a For loop's pass: advances `i` and says whether
// another pass follows (i <= last). Like the runtime's loop, the step after
// the pass with 32767 overflows even when that was the last pass.
inline bool NextPass16(int16_t& i, int16_t last) {
  i = Increment16(i);
  return i <= last;
}

}  // namespace database
