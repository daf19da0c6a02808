// Reporting the exception a procedure's handler has caught.
#include "errors/guard.h"

#include <exception>

#include "errors/handle_error.h"
#include "errors/pending_error.h"
#include "errors/runtime_error.h"

namespace errors {
namespace {

// The exception most recently reported. A handler that reports and then
// rethrows by mistake would otherwise have its caller report the same failure
// a second time; the caller's handler recognises the exception object and
// stays silent instead. Holding it keeps that one object alive until the next
// report, which is harmless. Only the window's thread reports.
std::exception_ptr& LastReported() {
  static std::exception_ptr last_reported;
  return last_reported;
}

}  // namespace

void ErrorHandler::Report() noexcept {
  std::exception_ptr current = std::current_exception();
  if (current && current == LastReported()) return;
  LastReported() = current;
  ErrorInfo info = DescribeException(current);
  Pending().Set(info.number, std::move(info.description), lines_.last());
  HandleError(name_, true, "", false);
}

}  // namespace errors
