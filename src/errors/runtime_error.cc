// Maps caught exceptions to runtime error numbers and descriptions.
#include "errors/runtime_error.h"

#include <new>
#include <stdexcept>

namespace errors {
namespace {

ErrorInfo FromKnown(const KnownError& error) {
  return {error.number, std::string(error.description)};
}

ErrorInfo Classify(std::exception_ptr error) {
  if (!error) return FromKnown(kInternalError);
  try {
    std::rethrow_exception(error);
  } catch (const RuntimeError& e) {
    return {e.number(), e.description()};
  } catch (const std::overflow_error&) {
    return FromKnown(kOverflow);
  } catch (const std::underflow_error&) {
    return FromKnown(kOverflow);
  } catch (const std::out_of_range&) {
    return FromKnown(kSubscriptOutOfRange);
  } catch (const std::bad_alloc&) {
    return FromKnown(kOutOfMemory);
  } catch (const std::exception& e) {
    std::string text = e.what() ? e.what() : "";
    if (text.empty()) return FromKnown(kInternalError);
    return {kInternalError.number, std::move(text)};
  } catch (...) {
    return FromKnown(kInternalError);
  }
}

}  // namespace

ErrorInfo DescribeException(std::exception_ptr error) noexcept {
  try {
    return Classify(std::move(error));
  } catch (...) {
    // Copying a description failed, which only running out of memory does.
    // The short text fits the string's inline buffer, so this cannot throw.
    return FromKnown(kOutOfMemory);
  }
}

}  // namespace errors
