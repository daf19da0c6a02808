// Paths as text, through std::filesystem: narrow on POSIX systems, UTF-16 on
// Windows; see path.h.
#include "platform/path.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include "platform/unicode_win32.h"
#endif

namespace platform {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
fs::path ToPath(std::string_view utf8) { return fs::path(Widen(utf8)); }
std::string FromPath(const fs::path& path) { return Narrow(path.native()); }
#else
fs::path ToPath(std::string_view utf8) { return fs::path(utf8); }
std::string FromPath(const fs::path& path) { return path.native(); }
#endif

}  // namespace

bool IsRelativePath(std::string_view path) { return ToPath(path).is_relative(); }

std::string JoinPath(std::string_view folder, std::string_view name) {
  return FromPath(ToPath(folder) / ToPath(name));
}

std::string ParentFolder(std::string_view path) { return FromPath(ToPath(path).parent_path()); }

std::string AbsolutePath(std::string_view path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(ToPath(path), error);
  return error ? std::string(path) : FromPath(absolute);
}

std::string FileStem(std::string_view path) { return FromPath(ToPath(path).stem()); }

std::string FileName(std::string_view path) { return FromPath(ToPath(path).filename()); }

std::vector<std::string> FolderEntries(std::string_view folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(ToPath(folder), error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(FromPath(it->path().filename()));
  }
  return names;
}

PathType TypeOf(std::string_view path) {
  std::error_code error;
  switch (fs::status(ToPath(path), error).type()) {
    case fs::file_type::not_found: return PathType::kNotFound;
    case fs::file_type::directory: return PathType::kFolder;
    case fs::file_type::none:
    case fs::file_type::unknown: return PathType::kUnknown;
    default: return PathType::kOther;
  }
}

bool MakeFolders(std::string_view folder) {
  std::error_code error;
  fs::create_directories(ToPath(folder), error);
  return fs::is_directory(ToPath(folder), error);
}

std::FILE* OpenStdioFile(std::string_view path, const char* mode) {
#ifdef _WIN32
  return _wfopen(Widen(path).c_str(), Widen(mode).c_str());
#else
  return std::fopen(std::string(path).c_str(), mode);
#endif
}

}  // namespace platform
