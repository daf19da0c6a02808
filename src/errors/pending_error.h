// The pending failure: number, description and line of the failure being
// handled, held by the process while a failure path runs.
//
// There is one instance per process, as the runtime has one error object, and
// it is used only from the window's thread (the program has no other). It is
// not synchronised: code on another thread must not touch it.
//
// A handler fills it when it catches a failure (errors/guard.h); the error
// reporter reads it and clears it at its end, so that after a report no
// failure is pending.
#pragma once

#include <cstdint>
#include <string>

namespace errors {

struct PendingError {
  int32_t number = 0;  // 0 when no failure is pending
  std::string description;
  // The last numbered step reached before the failure, 0 in a procedure that
  // numbers none.
  int32_t line = 0;

  void Set(int32_t new_number, std::string new_description, int32_t new_line);
  // Number 0 and empty description. The line goes back to 0 as well: it
  // belongs to the failure being cleared, and a failure set later always
  // brings its own.
  void Clear();
  bool IsPending() const { return number != 0; }
};

// The process-wide pending failure.
PendingError& Pending();

}  // namespace errors
