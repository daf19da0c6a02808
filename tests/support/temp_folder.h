// A fresh, empty folder under the system's temporary folder, for tests.
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tessaly::testing {

// Makes `<temp>/<prefix>.<random>` and returns it; throws when it cannot.
inline std::filesystem::path MakeTempFolder(const std::string& prefix) {
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = base / (prefix + "." + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) return folder;
  }
  throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

}  // namespace tessaly::testing
