// The load check's question, "is the default database there?", with the
// runtime errors a failed lookup raises.
#pragma once

#include <string>

namespace wizard {

// True only for an existing ordinary file (read-only ones included); a
// folder, a hidden or system file, or a missing file answer false (see
// platform/file_lookup.h). Throws errors::RuntimeError 52 "Bad file name or
// number" for a name the system cannot take, and 76 "Path not found" when the
// lookup itself fails (a folder on the way that cannot be searched).
bool IsOrdinaryFile(const std::string& path);

}  // namespace wizard
