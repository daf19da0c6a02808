// Files on POSIX systems; see file.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/file.h"

namespace platform {

namespace {

Error ErrnoError(const char* what, const std::string& path, int error) {
  return Error(Error::Kind::kOther, std::string(what) + " " + path + ": " + std::strerror(error));
}

Error NotRegular(const std::string& path) {
  return Error(Error::Kind::kNotRegularFile, "not a regular file: " + path);
}

std::string ParentDirectory(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int Fd(intptr_t handle) { return static_cast<int>(handle); }

// A signal that arrives while the system waits (on a slow disk or a network
// folder) interrupts open, fsync and ftruncate with EINTR: they are simply
// asked again.
int OpenRetrying(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int TruncateRetrying(int fd, off_t size) {
  int rc;
  do {
    rc = ::ftruncate(fd, size);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// A write that keeps writing nothing (a full or failing device that reports
// no error) is given up after this many tries instead of being asked for ever.
constexpr int kEmptyWriteTries = 100;

Error SetLock(int fd, uint64_t byte, short type, const std::string& path) {
  // Open-file-description locks: owned by the descriptor, not the process
  // (F3).
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(byte);
  lock.l_len = 1;
  if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return Error();
  if (errno == EAGAIN || errno == EACCES) {
    return Error(Error::Kind::kBusy, "the file is locked by another program: " + path);
  }
  return ErrnoError("cannot lock", path, errno);
}

}  // namespace

namespace {

// Opens a regular file (F1) in `mode`; a file it makes gets `permissions`.
// *fd is the descriptor and *writable whether it was opened for writing.
Error OpenRegular(const std::string& path, File::Mode mode, mode_t permissions, int* fd,
                  bool* writable) {
  // O_NONBLOCK: opening a fifo would otherwise wait for a writer at its
  // other end (F1); it is cleared once the file is known to be regular.
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
    case File::Mode::kRead: flags |= O_RDONLY; break;
    case File::Mode::kReadWrite: flags |= O_RDWR; break;
    case File::Mode::kCreate: flags |= O_RDWR | O_CREAT; break;
    case File::Mode::kReadMaybeWrite: flags |= O_RDWR; break;
  }
  *fd = OpenRetrying(path, flags, permissions);
  if (*fd < 0 && mode == File::Mode::kReadMaybeWrite &&
      (errno == EACCES || errno == EROFS || errno == EPERM || errno == ETXTBSY)) {
    flags = (flags & ~O_RDWR) | O_RDONLY;
    *fd = OpenRetrying(path, flags, permissions);
  }
  if (*fd < 0 && errno == EISDIR) return NotRegular(path);
  if (*fd < 0) return ErrnoError("cannot open", path, errno);
  struct stat st;
  int error = 0;
  if (::fstat(*fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    ::close(*fd);
    return NotRegular(path);
  } else if (::fcntl(*fd, F_SETFL, ::fcntl(*fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::close(*fd);
    return ErrnoError("cannot open", path, error);
  }
  *writable = (flags & O_RDWR) != 0;
  return Error();
}

}  // namespace

Error File::Open(const std::string& path, Mode mode, std::unique_ptr<File>* file) {
  int fd;
  bool writable;
  Error e = OpenRegular(path, mode, 0644, &fd, &writable);
  if (!e.ok()) return e;
  file->reset(new File(fd, path, writable));
  return Error();
}

Error File::CreateLike(const std::string& path, const File& like, std::unique_ptr<File>* file) {
  struct stat model;
  if (::fstat(Fd(like.handle_), &model) != 0) return ErrnoError("cannot stat", like.path_, errno);
  // Private until it has the model's group and bits, so that nobody the
  // model keeps out can open it meanwhile and read it later.
  int fd;
  bool writable;
  Error e = OpenRegular(path, Mode::kCreate, 0600, &fd, &writable);
  if (!e.ok()) return e;
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid()) {
    mode_t bits = model.st_mode & 0777;
    // A group we cannot give the file (we are not in it) must not get the
    // model's group rights through our own group instead.
    if (st.st_gid != model.st_gid && ::fchown(fd, static_cast<uid_t>(-1), model.st_gid) != 0) {
      bits &= ~static_cast<mode_t>(070);
    }
    // Failing leaves it private: safe, if less shared than the model.
    if ((st.st_mode & 0777) != bits) (void)::fchmod(fd, bits);
  }
  file->reset(new File(fd, path, writable));
  return Error();
}

File::~File() { ::close(Fd(handle_)); }

Error File::ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const {
  *done = 0;
  auto* out = static_cast<char*>(buffer);
  while (*done < size) {
    ssize_t n = ::pread(Fd(handle_), out + *done, size - *done, static_cast<off_t>(offset + *done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoError("cannot read", path_, errno);
    }
    if (n == 0) break;
    *done += static_cast<size_t>(n);
  }
  return Error();
}

Error File::WriteAt(uint64_t offset, const void* data, size_t size) {
  const auto* in = static_cast<const char*>(data);
  size_t done = 0;
  int empty_writes = 0;
  while (done < size) {
    ssize_t n = ::pwrite(Fd(handle_), in + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoError("cannot write", path_, errno);
    }
    if (n == 0 && ++empty_writes >= kEmptyWriteTries) {
      return Error(Error::Kind::kOther, "cannot write " + path_ + ": the system wrote nothing of " +
                                            std::to_string(size - done) + " bytes");
    }
    done += static_cast<size_t>(n);
  }
  return Error();
}

Error File::Sync() {
  int rc;
  do {
    rc = ::fdatasync(Fd(handle_));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return ErrnoError("cannot sync", path_, errno);
  return Error();
}

Error File::Truncate(uint64_t size) {
  if (TruncateRetrying(Fd(handle_), static_cast<off_t>(size)) != 0) {
    return ErrnoError("cannot truncate", path_, errno);
  }
  return Error();
}

Error File::Reserve(uint64_t size) {
  uint64_t current;
  Error e = Size(&current);
  if (!e.ok() || current >= size) return e;
  int fd = Fd(handle_);
  int error;
  do {
    error = ::posix_fallocate(fd, static_cast<off_t>(current), static_cast<off_t>(size - current));
  } while (error == EINTR);
  if (error == EOPNOTSUPP || error == EINVAL) {
    // File systems without allocation: growing the file is the best we can do.
    error = TruncateRetrying(fd, static_cast<off_t>(size)) != 0 ? errno : 0;
  }
  if (error != 0) {
    // Leave the file as it was; a failed allocation may have grown it. If
    // even that fails, the extra bytes lie past every page in use.
    if (TruncateRetrying(fd, static_cast<off_t>(current)) != 0) {
    }
    return ErrnoError("cannot grow", path_, error);
  }
  return Error();
}

Error File::Size(uint64_t* size) const {
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) return ErrnoError("cannot stat", path_, errno);
  *size = static_cast<uint64_t>(st.st_size);
  return Error();
}

Error File::LinkCount(uint64_t* count) const {
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) return ErrnoError("cannot stat", path_, errno);
  *count = static_cast<uint64_t>(st.st_nlink);
  return Error();
}

bool File::IsAt(const std::string& path) const {
  struct stat open_file, at_path;
  return ::fstat(Fd(handle_), &open_file) == 0 && ::stat(path.c_str(), &at_path) == 0 &&
         open_file.st_ino == at_path.st_ino && open_file.st_dev == at_path.st_dev;
}

Error File::Lock(uint64_t byte, LockKind kind) {
  return SetLock(Fd(handle_), byte, kind == LockKind::kExclusive ? F_WRLCK : F_RDLCK, path_);
}

void File::Unlock(uint64_t byte) { (void)SetLock(Fd(handle_), byte, F_UNLCK, path_); }

FileKind KindOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return FileKind::kAbsent;
  return S_ISREG(st.st_mode) ? FileKind::kRegular : FileKind::kOther;
}

Error ResolvePath(const std::string& path, std::string* resolved) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return ErrnoError("cannot open", path, errno);
  *resolved = real;
  std::free(real);
  return Error();
}

Error RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT)
    return ErrnoError("cannot remove", path, errno);
  return Error();
}

Error SyncParentDirectory(const std::string& path) {
  std::string dir = ParentDirectory(path);
  int fd = OpenRetrying(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return ErrnoError("cannot open folder", dir, errno);
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  int error = errno;
  ::close(fd);
  // Some file systems cannot sync a folder; the data itself is synced.
  if (rc != 0 && error != EINVAL && error != EROFS)
    return ErrnoError("cannot sync folder", dir, error);
  return Error();
}

Error PublishNew(const std::string& temp, const std::string& path) {
  // link() never replaces an existing name, unlike rename().
  if (::link(temp.c_str(), path.c_str()) != 0) {
    if (errno == EEXIST) return Error(Error::Kind::kExists, "the file already exists: " + path);
    return ErrnoError("cannot create", path, errno);
  }
  Error e = RemoveFile(temp);
  if (!e.ok()) return e;
  return SyncParentDirectory(path);
}

Error AppendAndSync(const std::string& path, std::string_view bytes) {
  const int fd = OpenRetrying(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return ErrnoError("cannot open", path, errno);
  int error = 0;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  int synced;
  do {
    synced = ::fsync(fd);
  } while (synced != 0 && errno == EINTR);
  if (synced != 0 && error == 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return error == 0 ? Error() : ErrnoError("cannot append to", path, error);
}

void SleepMilliseconds(int milliseconds) {
  struct timespec t = {milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000};
  while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
