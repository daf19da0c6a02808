// The engine's file layer: the file operations the log and the pager need
// (open, positioned reads and writes, sync, truncate, byte-range locks,
// names), behind a FileSystem that is passed in when a database is opened
// (OpenOptions::file_system), never reached through a global. Three kinds:
//   - the operating system's, FileSystem::Default() (over platform/file.h,
//     the only code of the engine that calls the system for files);
//   - MemoryFileSystem (memory_file_system.h): files held in memory, for
//     databases opened on an image (Database::OpenImage), new files built
//     before they are published, tests and fuzzing;
//   - wrappers that tests put in front of either to fail an operation, end
//     the process at it or cut the power (testing/fault_file_system.h).
//
// Rules every FileSystem keeps (the log's and the pager's guarantees rest on
// them):
//   (F1) Only regular files are opened: anything else is refused at once,
//        without waiting on it.
//   (F2) Reads and writes are positioned and whole: a short read means the
//        end of the file, a write either completes or fails.
//   (F3) Locks are advisory locks on single bytes, owned by the open File:
//        two Files on one file conflict even within a process. They never
//        wait.
//   (F4) Sync makes a file's contents durable; a name made or removed is
//        durable once its folder is synced (Remove does so itself).
// Every failure is a Status naming the operation, the path and the system's
// reason ("No space left on device").
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "jet/status.h"
#include "platform/file.h"

namespace jet {

class File {
 public:
  // kCreate: read-write, made if absent. kReadMaybeWrite: read-write when
  // the file allows it, else read-only (a reader that may have to apply a
  // leftover log: exclusive locks need a writable file).
  enum class Mode { kRead, kReadWrite, kCreate, kReadMaybeWrite };

  // Locks (F3) on single bytes that lie past the largest file either format
  // allows, so they never cover data (and map onto byte-range locks on
  // Windows, where locked bytes cannot be read). Setting a lock replaces
  // the one this File held on the byte; after a failure the byte may be
  // left unlocked. kBusy when another File holds a conflicting lock.
  enum class LockByte : uint64_t {
    kWriter = 0x100000000ull,   // held exclusive by the one writer, shared briefly by readers
    kReaders = 0x100000001ull,  // held shared by every reader, exclusive while pages are copied in
  };
  enum class LockKind { kShared, kExclusive };

  File() = default;
  virtual ~File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  virtual const std::string& path() const = 0;
  virtual bool can_write() const = 0;

  // Reads up to `size` bytes at `offset`; *done is what was read (short at
  // the end of the file).
  virtual Status ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const = 0;
  virtual Status WriteAt(uint64_t offset, const void* data, size_t size) = 0;
  virtual Status Sync() = 0;
  virtual Status Truncate(uint64_t size) = 0;
  // Reserves room up to `size` bytes, growing the file with zeros, so that
  // later writes below it cannot fail for want of space; nothing happens
  // when the file is that large already. On failure the file keeps its size.
  virtual Status Reserve(uint64_t size) = 0;
  virtual Result<uint64_t> Size() const = 0;

  // How many names (hard links) the file has.
  virtual Result<uint64_t> LinkCount() const = 0;
  // Whether `path` still names this open file (not removed, renamed or
  // replaced since it was opened).
  virtual bool StillAtPath() const = 0;

  virtual Status Lock(LockByte byte, LockKind kind) = 0;
  virtual void Unlock(LockByte byte) = 0;
};

using platform::FileKind;

class FileSystem {
 public:
  // The operating system's files. Lives as long as the program.
  static FileSystem& Default();

  FileSystem() = default;
  virtual ~FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  virtual Result<std::unique_ptr<File>> Open(const std::string& path, File::Mode mode) = 0;
  // Opens `path` for reading and writing, made if absent, for the same
  // people as `like` (its permission bits and group: platform/file.h).
  virtual Result<std::unique_ptr<File>> CreateLike(const std::string& path, const File& like) = 0;
  // What is at `path` (a symbolic link is followed).
  virtual FileKind KindOf(const std::string& path) = 0;
  bool Exists(const std::string& path) { return KindOf(path) != FileKind::kAbsent; }
  // `path` with every symbolic link and "." or ".." resolved, so that a
  // file reached under several names finds the same log beside it.
  virtual Result<std::string> ResolvePath(const std::string& path) = 0;
  // Removes `path` (absent is fine) and syncs its folder (F4).
  virtual Status Remove(const std::string& path) = 0;
  // Syncs the folder that holds `path` (F4).
  virtual Status SyncParentDirectory(const std::string& path) = 0;
  // Moves the synced file `temp` to `path` unless that name is taken
  // (kInvalidArgument "the file already exists" then, `temp` kept).
  virtual Status PublishNew(const std::string& temp, const std::string& path) = 0;
};

// The failures every FileSystem reports alike.
Status FileBusy(const std::string& path);           // a lock another File holds
Status FileAlreadyExists(const std::string& path);  // PublishNew onto a taken name

using platform::SleepMilliseconds;

}  // namespace jet
