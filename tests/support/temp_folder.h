// Fresh, empty folders under the system's temporary folder, for tests.
#pragma once

#include <filesystem>
#include <string>

namespace tessaly::testing {

// Makes `<temp>/<prefix>.<random>` and returns it; throws when it cannot.
// The caller removes it (or keeps it on purpose).
std::filesystem::path MakeTempFolder(const std::string& prefix);

// A fresh folder that goes with the object, together with all it then
// holds, read-only files and folders included.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "tessaly_test") : path_(MakeTempFolder(prefix)) {}
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tessaly::testing
