// The only code in the engine that calls the operating system on files:
// open, positioned reads and writes, sync, truncate, whole-file locks.
// Every failure is a Status naming the operation, the path and the system's
// reason ("No space left on device").
//
// Tests can watch every write, truncate and sync through a FileObserver, and
// make it fail or end the process there (crash tests); the observer sees the
// operation before it happens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "jet/status.h"

namespace jet {

enum class FileOp { kWrite, kTruncate, kSync, kRemove };

class OsFile;

class FileObserver {
 public:
  virtual ~FileObserver() = default;
  // Called before each write, truncate, sync or removal. A non-OK Status
  // makes the operation fail with it instead of happening. `file` is null
  // for kRemove.
  virtual Status Before(FileOp op, const std::string& path, OsFile* file, uint64_t offset,
                        uint64_t size) = 0;
};

// Installs `observer` for every OsFile (nullptr removes it). Tests only.
void SetFileObserverForTesting(FileObserver* observer);

class OsFile {
 public:
  enum class Mode { kRead, kReadWrite, kCreate };  // kCreate: read-write, made if absent

  static Result<std::unique_ptr<OsFile>> Open(const std::string& path, Mode mode);
  ~OsFile();
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;

  const std::string& path() const { return path_; }

  // Reads up to `size` bytes at `offset`; *done is what was read (short at
  // the end of the file).
  Status ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const;
  Status WriteAt(uint64_t offset, const void* data, size_t size);
  Status Sync();
  Status Truncate(uint64_t size);
  // Reserves disk space up to `size` bytes so that later writes below it
  // cannot fail for want of space. Grows the file.
  Status Reserve(uint64_t size);
  Result<uint64_t> Size() const;

  // Identity of the file, to tell whether a log still belongs to it.
  struct Identity {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t mtime_ns = 0;
  };
  Result<Identity> Stat() const;
  // OK while `path` still names this open file; an IoError when the file was
  // removed, renamed or replaced since it was opened.
  Status CheckStillAtPath() const;

  // Whole-file advisory locks, never waiting: kBusy when another open file
  // (in any process) holds a conflicting lock.
  Status LockExclusive();
  Status LockShared();

 private:
  OsFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  Status Observe(FileOp op, uint64_t offset, uint64_t size);

  int fd_;
  std::string path_;
};

bool FileExists(const std::string& path);
// Removes `path` (absent is fine) and syncs its folder.
Status RemoveFile(const std::string& path);
// Syncs the folder that holds `path`, so that a file made or removed there
// survives a power cut.
Status SyncParentDirectory(const std::string& path);

}  // namespace jet
