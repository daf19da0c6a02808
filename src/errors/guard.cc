// Reporting the exception a procedure's handler has caught.
#include "errors/guard.h"

#include <exception>

#include "errors/handle_error.h"
#include "errors/pending_error.h"
#include "errors/runtime_error.h"

namespace errors {

void ErrorHandler::Report() noexcept {
  ErrorInfo info = DescribeException(std::current_exception());
  Pending().Set(info.number, std::move(info.description), lines_.last());
  HandleError(name_, true, "", false);
}

}  // namespace errors
