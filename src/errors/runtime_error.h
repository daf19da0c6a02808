// The runtime error: the failure that the application's procedures raise and
// catch. It carries the 32-bit number and the description that the error
// reporter prints; the line number is added by the handler that catches it
// (see errors/guard.h).
//
// The numbers the runtime itself raises are named here and nowhere else, with
// the texts users know them by. Libraries that must not depend on this one
// (the year data) throw standard exceptions instead; DescribeException() maps
// those to the same numbers, so every failure reaches the reporter as a
// (number, description) pair whatever its origin.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace errors {

// A runtime error number with its standard description.
struct KnownError {
  int32_t number;
  std::string_view description;
};

inline constexpr KnownError kInvalidProcedureCall{5, "Invalid procedure call or argument"};
inline constexpr KnownError kOverflow{6, "Overflow"};
inline constexpr KnownError kOutOfMemory{7, "Out of memory"};
inline constexpr KnownError kSubscriptOutOfRange{9, "Subscript out of range"};
inline constexpr KnownError kDivisionByZero{11, "Division by zero"};
inline constexpr KnownError kTypeMismatch{13, "Type mismatch"};
// The general number for a failure that has no number of its own: a standard
// exception that none of the mappings below covers, or something thrown that is
// not an exception at all. A standard exception keeps its what() text as the
// description; anything else gets this text.
inline constexpr KnownError kInternalError{51, "Internal error"};
inline constexpr KnownError kObjectNotSet{91, "Object variable or With block variable not set"};
inline constexpr KnownError kInvalidUseOfNull{94, "Invalid use of Null"};

class RuntimeError : public std::exception {
 public:
  RuntimeError(int32_t number, std::string description)
      : number_(number), description_(std::move(description)) {}
  explicit RuntimeError(const KnownError& error)
      : RuntimeError(error.number, std::string(error.description)) {}

  // Negative numbers are legal: failures passed on from a database provider
  // carry numbers with the top bit set.
  int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t number_;
  std::string description_;
};

// What the reporter needs of any failure.
struct ErrorInfo {
  int32_t number = 0;
  std::string description;

  friend bool operator==(const ErrorInfo&, const ErrorInfo&) = default;
};

// Maps a caught exception to its number and description:
//   RuntimeError                            its own number and description
//   std::overflow_error, std::underflow_error   6 "Overflow"
//   std::out_of_range                       9 "Subscript out of range"
//   std::bad_alloc                          7 "Out of memory"
//   any other std::exception                51 with its what() text ("Internal
//                                           error" when what() is empty)
//   anything else                           51 "Internal error"
// A null pointer (no exception in flight) also gives 51 "Internal error".
// Never throws.
ErrorInfo DescribeException(std::exception_ptr error) noexcept;

}  // namespace errors
