// POSIX systems keep no VirtualStore; see known_folders.h.
#include "platform/known_folders.h"

namespace platform {

std::string LocalAppDataFolder() { return {}; }

std::vector<std::string> VirtualisedFolders() { return {}; }

}  // namespace platform
