// Files read whole, for tests.
#pragma once

#include <filesystem>
#include <string>

namespace tessaly::testing {

// A whole file's bytes; empty when it is not a readable plain file.
std::string FileBytes(const std::filesystem::path& file);

}  // namespace tessaly::testing
