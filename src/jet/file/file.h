// The engine's file layer over the operating system's (platform/file.h):
// open, positioned reads and writes, sync, truncate, byte-range locks.
// Every failure is a Status naming the operation, the path and the system's
// reason ("No space left on device"). Only regular files are opened: a
// folder, a fifo or a device named like a database is refused at once,
// without waiting on it.
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
#include "platform/file.h"

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
  // Called before each write instead of Before, with the bytes to write (an
  // observer that tears a write part way). By default Before.
  virtual Status BeforeWrite(const std::string& path, OsFile* file, uint64_t offset,
                             const void* data, uint64_t size) {
    (void)data;
    return Before(FileOp::kWrite, path, file, offset, size);
  }
};

// Installs `observer` for every OsFile (nullptr removes it). Tests only.
void SetFileObserverForTesting(FileObserver* observer);

class OsFile {
 public:
  // kCreate: read-write, made if absent. kReadMaybeWrite: read-write when
  // the file allows it, else read-only (a reader that may have to apply a
  // leftover log: exclusive locks need a writable file).
  enum class Mode { kRead, kReadWrite, kCreate, kReadMaybeWrite };

  static Result<std::unique_ptr<OsFile>> Open(const std::string& path, Mode mode);
  // Opens `path` for reading and writing, made if absent, for the same
  // people as `like` (its permission bits and group: platform/file.h).
  static Result<std::unique_ptr<OsFile>> CreateLike(const std::string& path, const OsFile& like);
  ~OsFile();
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;

  const std::string& path() const { return path_; }
  bool can_write() const;

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

  // How many names (hard links) the file has.
  Result<uint64_t> LinkCount() const;
  // OK while `path` still names this open file; an IoError when the file was
  // removed, renamed or replaced since it was opened.
  Status CheckStillAtPath() const;

  // Advisory locks on single bytes that lie past the largest file either
  // format allows, so they never cover data (and map onto byte-range locks
  // on Windows, where locked bytes cannot be read). A lock belongs to this
  // open file: another OsFile on the same file, in this process or another,
  // conflicts with it. Never waits: kBusy when a conflicting lock is held.
  // Setting a lock replaces the one this file held on the byte; after a
  // failure the byte may be left unlocked.
  enum class LockByte : uint64_t {
    kWriter = 0x100000000ull,   // held exclusive by the one writer, shared briefly by readers
    kReaders = 0x100000001ull,  // held shared by every reader, exclusive while pages are copied in
  };
  enum class LockKind { kShared, kExclusive };
  Status Lock(LockByte byte, LockKind kind);
  void Unlock(LockByte byte);

 private:
  OsFile(std::unique_ptr<platform::File> file, std::string path);
  Status Observe(FileOp op, uint64_t offset, uint64_t size);

  std::unique_ptr<platform::File> file_;
  std::string path_;
};

using platform::FileKind;
using platform::KindOf;
bool FileExists(const std::string& path);
// `path` with every symbolic link and "." or ".." resolved, so that a file
// reached under several names finds the same log beside it.
Result<std::string> ResolvePath(const std::string& path);
using platform::SleepMilliseconds;
// Moves the synced file `temp` to `path` unless that name is taken
// (kInvalidArgument "the file already exists" then, `temp` kept).
Status PublishNew(const std::string& temp, const std::string& path);
// Removes `path` (absent is fine) and syncs its folder.
Status RemoveFile(const std::string& path);
// Syncs the folder that holds `path`, so that a file made or removed there
// survives a power cut.
Status SyncParentDirectory(const std::string& path);

}  // namespace jet
