// The process-wide pending failure.
#include "errors/pending_error.h"

#include <utility>

namespace errors {

void PendingError::Set(int32_t new_number, std::string new_description, int32_t new_line) {
  number = new_number;
  description = std::move(new_description);
  line = new_line;
}

void PendingError::Clear() {
  number = 0;
  description.clear();
  line = 0;
}

PendingError& Pending() {
  static PendingError pending;
  return pending;
}

}  // namespace errors
