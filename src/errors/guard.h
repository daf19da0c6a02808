// How a procedure catches its failures and reports them once.
//
// Every procedure that can fail and has a handler of its own catches at its
// boundary, reports through HandleError() under its qualified name, and
// returns its failure result (false, or nothing for procedures without a
// result). A procedure without a handler simply lets the failure pass to its
// caller's handler. Invariants:
//   (G1) A failure is reported exactly once, by the innermost procedure with a
//        handler: the handler consumes the exception, so no caller can catch
//        it again; callers see only the failure result. Should a handler
//        rethrow what it reported, the callers' handlers recognise the
//        exception and do not report it again.
//   (G2) A report always has a pending failure to show: the handler fills
//        PendingError from the caught exception and the line reached just
//        before calling HandleError(), which clears it again.
//   (G3) Nothing leaves a guarded procedure as an exception.
//
// The usual form is one call:
//
//   bool OpenDatabase(...) {
//     return errors::Guarded("frmMain.OpenDatabase", false, [&] {
//       ...
//       return true;
//     });
//   }
//
// Procedures that number their steps take the line marker:
//
//   return errors::Guarded("basDatabase.AddEventDate", false, [&](errors::Lines& line) {
//     line(10); ...
//     line(20); ...
//     return true;
//   });
//
// and procedures without a result (event handlers) leave out the failure
// value: errors::Guarded("frmMain.cmdBrowse_Click", [&] { ... });
//
// Where a lambda does not fit, the same in long hand:
//
//   errors::ErrorHandler handler("basDatabase.GetEventData");
//   try {
//     handler.Line(10); ...
//     return true;
//   } catch (...) {
//     handler.Report();
//     return false;
//   }
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace errors {

// The last numbered step a procedure has reached; 0 until it numbers one.
class Lines {
 public:
  void operator()(int32_t step) noexcept { last_ = step; }
  int32_t last() const noexcept { return last_; }

 private:
  int32_t last_ = 0;
};

// The handler of one procedure call: its qualified name and the step reached.
class ErrorHandler {
 public:
  // REQUIRES: `qualified_name` outlives the handler; a string literal does.
  explicit ErrorHandler(std::string_view qualified_name) noexcept : name_(qualified_name) {}
  explicit ErrorHandler(const char* qualified_name) noexcept : name_(qualified_name) {}
  explicit ErrorHandler(std::string&&) = delete;  // would dangle
  ErrorHandler(const ErrorHandler&) = delete;
  ErrorHandler& operator=(const ErrorHandler&) = delete;

  void Line(int32_t step) noexcept { lines_(step); }
  Lines& lines() noexcept { return lines_; }
  std::string_view name() const noexcept { return name_; }

  // Reports the exception being handled: sets the pending failure from it and
  // the step reached, then calls HandleError(name, true, "", false), which
  // logs, shows the box and clears the pending failure.
  // Does nothing when the exception is the one reported last (G1).
  // REQUIRES: called from a catch block (outside one it reports 51 "Internal
  // error", which is a mistake in the caller).
  void Report() noexcept;

 private:
  std::string_view name_;
  Lines lines_;
};

namespace internal {

template <typename Body>
decltype(auto) InvokeBody(Body& body, Lines& lines) {
  if constexpr (std::is_invocable_v<Body&, Lines&>) {
    return body(lines);
  } else {
    return body();
  }
}

template <typename Body>
using BodyResult =
    decltype(InvokeBody(std::declval<std::remove_reference_t<Body>&>(), std::declval<Lines&>()));

}  // namespace internal

// Runs `body` (callable with Lines& or with nothing) as the procedure
// `qualified_name`; returns its result, or `failure` once any exception it
// throws has been reported. See the top of this file.
template <typename Body>
[[nodiscard]] internal::BodyResult<Body> Guarded(
    std::string_view qualified_name, std::type_identity_t<internal::BodyResult<Body>> failure,
    Body&& body) {
  static_assert(!std::is_void_v<internal::BodyResult<Body>>,
                "a procedure without a result takes no failure value");
  ErrorHandler handler(qualified_name);
  try {
    return internal::InvokeBody(body, handler.lines());
  } catch (...) {
    handler.Report();
    return failure;
  }
}

// The same for a procedure without a result: it simply returns after the
// report.
template <typename Body>
void Guarded(std::string_view qualified_name, Body&& body) noexcept {
  static_assert(std::is_void_v<internal::BodyResult<Body>>,
                "a procedure with a result must name the value it returns on failure");
  ErrorHandler handler(qualified_name);
  try {
    internal::InvokeBody(body, handler.lines());
  } catch (...) {
    handler.Report();
  }
}

}  // namespace errors
