#include "wizard/file_lookup.h"

#include "errors/runtime_error.h"
#include "platform/file_lookup.h"

namespace wizard {
namespace {

// Errors of the file lookup, numbered as the runtime numbers them.
constexpr errors::KnownError kBadFileName{52, "Bad file name or number"};
constexpr errors::KnownError kPathNotFound{76, "Path not found"};

}  // namespace

bool IsOrdinaryFile(const std::string& path) {
  switch (platform::LookUpFile(path)) {
    case platform::Lookup::kOrdinaryFile: return true;
    case platform::Lookup::kNotListed: return false;
    case platform::Lookup::kBadName: throw errors::RuntimeError(kBadFileName);
    case platform::Lookup::kFailed: break;
  }
  throw errors::RuntimeError(kPathNotFound);
}

}  // namespace wizard
