// Where Windows keeps a virtualised program's copy of a file: see
// virtual_store.h.
#include "platform/virtual_store.h"

#include <algorithm>
#include <optional>

#include "platform/known_folders.h"
#include "strings/ascii.h"

namespace platform {
namespace {

using strings::AsciiUpper;

// An absolute path on a drive: its letter and its components below the root.
struct DrivePath {
  char drive;
  std::vector<std::string> components;
};

std::optional<DrivePath> ParseDrivePath(std::string_view text) {
  std::string path(text);
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.starts_with("\\\\?\\")) path.erase(0, 4);
  const bool has_drive = path.size() >= 3 && AsciiUpper(path[0]) >= 'A' &&
                         AsciiUpper(path[0]) <= 'Z' && path[1] == ':' && path[2] == '\\';
  if (!has_drive) return std::nullopt;  // relative, UNC or no path at all
  DrivePath parsed{AsciiUpper(path[0]), {}};
  size_t start = 3;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view component = std::string_view(path).substr(start, end - start);
    if (component == "..") {
      if (!parsed.components.empty()) parsed.components.pop_back();
    } else if (!component.empty() && component != ".") {
      parsed.components.emplace_back(component);
    }
    start = end + 1;
  }
  return parsed;
}

// True when `inner` lies strictly below `folder`.
bool IsBelow(const DrivePath& inner, const DrivePath& folder) {
  if (inner.drive != folder.drive || inner.components.size() <= folder.components.size())
    return false;
  for (size_t i = 0; i < folder.components.size(); ++i) {
    if (!strings::AsciiEqualsNoCase(inner.components[i], folder.components[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> UsualVirtualisedFolders() {
  return {"C:\\Program Files", "C:\\Program Files (x86)", "C:\\Windows", "C:\\ProgramData"};
}

std::string VirtualStorePath(std::string_view path, std::string_view local_app_data,
                             const std::vector<std::string>& virtualised_folders) {
  if (local_app_data.empty()) return {};
  const std::optional<DrivePath> parsed = ParseDrivePath(path);
  if (!parsed) return {};
  const bool virtualised =
      std::any_of(virtualised_folders.begin(), virtualised_folders.end(), [&](const auto& folder) {
        const std::optional<DrivePath> root = ParseDrivePath(folder);
        return root && !root->components.empty() && IsBelow(*parsed, *root);
      });
  if (!virtualised) return {};

  std::string store(local_app_data);
  std::replace(store.begin(), store.end(), '/', '\\');
  while (store.size() > 1 && store.back() == '\\') store.pop_back();
  store += "\\VirtualStore";
  for (const std::string& component : parsed->components) {
    store += '\\';
    store += component;
  }
  return store;
}

std::string VirtualStorePath(std::string_view path) {
  return VirtualStorePath(path, LocalAppDataFolder(), VirtualisedFolders());
}

}  // namespace platform
