// The file lookup on POSIX systems; see file_lookup.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_lookup.h"

namespace platform {

Lookup LookUpFile(const std::string& path) {
  if (path.empty()) return Lookup::kNotListed;
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.starts_with('.')) return Lookup::kNotListed;  // hidden
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    switch (errno) {
      case ENOENT:
      case ENOTDIR: return Lookup::kNotListed;
      case ENAMETOOLONG: return Lookup::kBadName;
      default: return Lookup::kFailed;
    }
  }
  return S_ISREG(status.st_mode) ? Lookup::kOrdinaryFile : Lookup::kNotListed;
}

bool WriteAccessDenied(const std::string& path) {
  // Non-blocking, so that a fifo cannot hold the question up.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return false;
  }
  return errno == EACCES || errno == EPERM || errno == EROFS;
}

}  // namespace platform
