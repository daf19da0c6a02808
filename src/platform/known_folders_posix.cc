// POSIX systems keep no VirtualStore; Windows programs run there under
// Wine. See known_folders.h.
#include <cstdlib>
#include <filesystem>

#include "platform/known_folders.h"

namespace platform {

std::string LocalAppDataFolder() { return {}; }

std::vector<std::string> VirtualisedFolders() { return {}; }

std::string WineDriveC() {
  namespace fs = std::filesystem;
  fs::path prefix;
  if (const char* wine_prefix = std::getenv("WINEPREFIX"); wine_prefix && *wine_prefix) {
    prefix = wine_prefix;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    prefix = fs::path(home) / ".wine";
  } else {
    prefix = ".wine";
  }
  return (prefix / "drive_c").string();
}

}  // namespace platform
