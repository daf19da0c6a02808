// OS file access; see file.h.
#include "jet/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace jet {

namespace {

FileObserver* g_observer = nullptr;

Status ErrnoStatus(const char* what, const std::string& path, int error) {
  return Status::IoError(std::string(what) + " " + path + ": " + std::strerror(error));
}

std::string ParentDirectory(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

void SetFileObserverForTesting(FileObserver* observer) { g_observer = observer; }

Result<std::unique_ptr<OsFile>> OsFile::Open(const std::string& path, Mode mode) {
  // O_NONBLOCK: opening a fifo would otherwise wait for a writer at the
  // other end; it is cleared again once the file is known to be regular.
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
    case Mode::kRead: flags |= O_RDONLY; break;
    case Mode::kReadWrite: flags |= O_RDWR; break;
    case Mode::kCreate: flags |= O_RDWR | O_CREAT; break;
    case Mode::kReadMaybeWrite: flags |= O_RDWR; break;
  }
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0 && mode == Mode::kReadMaybeWrite &&
      (errno == EACCES || errno == EROFS || errno == EPERM || errno == ETXTBSY)) {
    flags = (flags & ~O_RDWR) | O_RDONLY;
    fd = ::open(path.c_str(), flags, 0644);
  }
  if (fd < 0 && errno == EISDIR) return Status::IoError("not a regular file: " + path);
  if (fd < 0) return ErrnoStatus("cannot open", path, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int error = errno;
    ::close(fd);
    return ErrnoStatus("cannot stat", path, error);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::IoError("not a regular file: " + path);
  }
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    int error = errno;
    ::close(fd);
    return ErrnoStatus("cannot open", path, error);
  }
  return std::unique_ptr<OsFile>(new OsFile(fd, path, (flags & O_RDWR) != 0));
}

OsFile::~OsFile() { ::close(fd_); }

Status OsFile::Observe(FileOp op, uint64_t offset, uint64_t size) {
  if (g_observer == nullptr) return Status::OK();
  return g_observer->Before(op, path_, this, offset, size);
}

Status OsFile::ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const {
  *done = 0;
  auto* out = static_cast<char*>(buffer);
  while (*done < size) {
    ssize_t n = ::pread(fd_, out + *done, size - *done, static_cast<off_t>(offset + *done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoStatus("cannot read", path_, errno);
    }
    if (n == 0) break;
    *done += static_cast<size_t>(n);
  }
  return Status::OK();
}

Status OsFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  JET_RETURN_IF_ERROR(Observe(FileOp::kWrite, offset, size));
  const auto* in = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoStatus("cannot write", path_, errno);
    }
    done += static_cast<size_t>(n);
  }
  return Status::OK();
}

Status OsFile::Sync() {
  JET_RETURN_IF_ERROR(Observe(FileOp::kSync, 0, 0));
  if (::fdatasync(fd_) != 0) return ErrnoStatus("cannot sync", path_, errno);
  return Status::OK();
}

Status OsFile::Truncate(uint64_t size) {
  JET_RETURN_IF_ERROR(Observe(FileOp::kTruncate, size, 0));
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    return ErrnoStatus("cannot truncate", path_, errno);
  }
  return Status::OK();
}

Status OsFile::Reserve(uint64_t size) {
  Result<uint64_t> current = Size();
  if (!current.ok()) return current.status();
  if (*current >= size) return Status::OK();
  JET_RETURN_IF_ERROR(Observe(FileOp::kTruncate, size, 0));
  int error = ::posix_fallocate(fd_, static_cast<off_t>(*current),
                                static_cast<off_t>(size - *current));
  if (error == EOPNOTSUPP || error == EINVAL) {
    // File systems without allocation: growing the file is the best we can do.
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) error = errno; else error = 0;
  }
  if (error != 0) {
    // Leave the file as it was; a failed allocation may have grown it.
    if (::ftruncate(fd_, static_cast<off_t>(*current)) != 0) {
      // Nothing more to do: the extra bytes lie past every page in use.
    }
    return ErrnoStatus("cannot grow", path_, error);
  }
  return Status::OK();
}

Result<uint64_t> OsFile::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return ErrnoStatus("cannot stat", path_, errno);
  return static_cast<uint64_t>(st.st_size);
}

Result<uint64_t> OsFile::LinkCount() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return ErrnoStatus("cannot stat", path_, errno);
  return static_cast<uint64_t>(st.st_nlink);
}

Status OsFile::CheckStillAtPath() const {
  struct stat open_file, at_path;
  if (::fstat(fd_, &open_file) != 0) return ErrnoStatus("cannot stat", path_, errno);
  if (::stat(path_.c_str(), &at_path) != 0 || open_file.st_ino != at_path.st_ino ||
      open_file.st_dev != at_path.st_dev) {
    return Status::IoError("the database file " + path_ +
                           " was removed or replaced by another program while it was open");
  }
  return Status::OK();
}

Status OsFile::Lock(LockByte byte, LockKind kind) {
  // Open-file-description locks: owned by this descriptor, not the process,
  // so two OsFiles of one process conflict as two processes would.
  struct flock lock = {};
  lock.l_type = kind == LockKind::kExclusive ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(byte);
  lock.l_len = 1;
  if (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
    if (errno == EAGAIN || errno == EACCES) {
      return Status::Busy("The database is in use by another program: " + path_);
    }
    return ErrnoStatus("cannot lock", path_, errno);
  }
  return Status::OK();
}

void OsFile::Unlock(LockByte byte) {
  struct flock lock = {};
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(byte);
  lock.l_len = 1;
  (void)::fcntl(fd_, F_OFD_SETLK, &lock);
}

FileKind KindOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return FileKind::kAbsent;
  return S_ISREG(st.st_mode) ? FileKind::kRegular : FileKind::kOther;
}

Result<std::string> ResolvePath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return ErrnoStatus("cannot open", path, errno);
  std::string result(resolved);
  std::free(resolved);
  return result;
}

void SleepMilliseconds(int milliseconds) {
  struct timespec t = {milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000};
  while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

Status RemoveFile(const std::string& path) {
  if (g_observer != nullptr) {
    JET_RETURN_IF_ERROR(g_observer->Before(FileOp::kRemove, path, nullptr, 0, 0));
  }
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    return ErrnoStatus("cannot remove", path, errno);
  }
  return SyncParentDirectory(path);
}

Status SyncParentDirectory(const std::string& path) {
  std::string dir = ParentDirectory(path);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ErrnoStatus("cannot open folder", dir, errno);
  int rc = ::fsync(fd);
  int error = errno;
  ::close(fd);
  // Some file systems cannot sync a folder; the data itself is synced.
  if (rc != 0 && error != EINVAL && error != EROFS) return ErrnoStatus("cannot sync folder", dir, error);
  return Status::OK();
}

}  // namespace jet
