#include "support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <random>
#include <stdexcept>
#include <system_error>

namespace tessaly::testing {

namespace fs = std::filesystem;

namespace {

// Gives the owner back what a test may have taken away, so that everything
// below `folder` can be removed: write access to files (on Windows, no
// read-only, hidden or system attribute), all access to folders.
void MakeRemovable(const fs::path& folder) {
  std::error_code ignored;
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored)) {
#ifdef _WIN32
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
      MakeRemovable(entry.path());
    } else {
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
  }
}

}  // namespace

fs::path MakeTempFolder(const std::string& prefix) {
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder = base / (prefix + "." + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(folder, error)) return folder;
  }
  throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  MakeRemovable(path_);
  fs::remove_all(path_, ignored);
}

}  // namespace tessaly::testing
