#include "support/shared_copy.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace tessaly::testing {

namespace fs = std::filesystem;

fs::path SharedPath(const std::string& folder, const std::string& name) {
  return SharedPath(folder) / name;
}

fs::path SharedPath(const std::string& relative) { return fs::path(TESSALY_SHARED_DIR) / relative; }

std::vector<std::string> SharedDatabases() {
  std::vector<std::string> files;
  for (const char* folder : {"corpus", "fixtures"}) {
    for (const auto& entry : fs::directory_iterator(SharedPath(folder))) {
      if (entry.path().extension() == ".mdb") files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

SharedFileCopy::SharedFileCopy(const std::string& folder, const std::string& name)
    : path_(dir_.path() / name) {
  const fs::path source = SharedPath(folder, name);
  if (!fs::is_regular_file(source))
    throw std::runtime_error("missing test file " + source.string());
  std::error_code error;
  fs::copy_file(source, path_, error);
  // The shared files are read-only, and so is a fresh copy of one.
  if (!error) fs::permissions(path_, fs::perms::owner_write, fs::perm_options::add, error);
  if (error) throw std::runtime_error("cannot copy " + source.string() + ": " + error.message());
}

}  // namespace tessaly::testing
