// A private, writable copy of one of the shared test databases, in a fresh
// folder of its own that goes with the object. Tests and benchmarks work on
// such copies only, so that nothing can change the shared originals.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace tessaly::testing {

// Absolute path of a shared test file: SharedPath("fixtures", "tessdata-2009.mdb").
std::filesystem::path SharedPath(const std::string& folder, const std::string& name);
// The same for a path below the shared folder: SharedPath("corpus"),
// SharedPath("oracle/jetcheck"), SharedPath("fixtures/tessdata-2009.mdb").
std::filesystem::path SharedPath(const std::string& relative);

// The paths of every .mdb file of the shared corpus and fixtures folders, sorted.
std::vector<std::string> SharedDatabases();

class SharedFileCopy {
 public:
  // Copies ../shared/<folder>/<name>. Throws std::runtime_error naming the
  // file when it is missing or cannot be copied.
  SharedFileCopy(const std::string& folder, const std::string& name);

  const std::filesystem::path& path() const { return path_; }
  const std::filesystem::path& dir() const { return dir_.path(); }

 private:
  TempFolder dir_;
  std::filesystem::path path_;
};

}  // namespace tessaly::testing
