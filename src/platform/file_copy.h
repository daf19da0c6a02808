// A whole copy of a file in a place of its own, for the VirtualStore copy of
// a calendar that the user may not change in place (wizard/virtual_store.h).
#pragma once

#include <string>

#include "platform/error.h"

namespace platform {

// Copies `from` to `to`, making the folders on the way to `to`, whole or not
// at all: the bytes go to a temporary file beside `to`, which is synced and
// only then given the name (PublishNew), so that `to` never appears half
// made. kExists when `to` is there already; it is left alone.
Error CopyToNewFile(const std::string& from, const std::string& to);

}  // namespace platform
