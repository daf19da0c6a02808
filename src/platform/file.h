// Files as the operating system gives them: open, positioned reads and
// writes, sync, size, byte-range locks, names. In the engine only the
// operating system's FileSystem (jet/file/file.h) calls it, and turns its
// errors into the engine's statuses.
//
// Rules every implementation keeps:
//   (F1) Only regular files are opened; anything else is kNotRegularFile at
//        once, without waiting on it (a fifo never blocks the open).
//   (F2) Reads and writes are positioned and whole: a short read means the
//        end of the file, a write either completes or fails.
//   (F3) Locks are advisory locks on single bytes, owned by the open File
//        (not the process): two Files on one file conflict even within a
//        process. They never wait.
//   (F4) Sync makes the file's contents durable; SyncParentDirectory makes
//        a name made or removed in a folder durable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace platform {

class File {
 public:
  // kCreate: read-write, made if absent. kReadMaybeWrite: read-write when the
  // file allows it, else read-only.
  enum class Mode { kRead, kReadWrite, kCreate, kReadMaybeWrite };
  enum class LockKind { kShared, kExclusive };

  static Error Open(const std::string& path, Mode mode, std::unique_ptr<File>* file);
  // Opens `path` for reading and writing, made if absent, for the same
  // people as `like`: on POSIX systems a file it makes, or one of ours it
  // finds, gets the permission bits and group of `like` (without the group
  // bits when that group cannot be given), and is private until then.
  static Error CreateLike(const std::string& path, const File& like, std::unique_ptr<File>* file);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool can_write() const { return can_write_; }

  // Reads up to `size` bytes at `offset`; *done is what was read (short only
  // at the end of the file).
  Error ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const;
  Error WriteAt(uint64_t offset, const void* data, size_t size);
  Error Sync();
  Error Truncate(uint64_t size);
  // Allocates disk space up to `size` bytes (growing the file), so that
  // writes below it cannot fail for want of space; on failure the file keeps
  // its size.
  Error Reserve(uint64_t size);
  Error Size(uint64_t* size) const;
  // How many names (hard links) the file has.
  Error LinkCount(uint64_t* count) const;
  // OK while `path` names this open file (not removed, renamed or replaced).
  bool IsAt(const std::string& path) const;

  // (F3) kBusy when another File holds a conflicting lock on the byte.
  // Setting a lock replaces the one this File held on the byte; after a
  // failure the byte may be left unlocked.
  Error Lock(uint64_t byte, LockKind kind);
  void Unlock(uint64_t byte);

 private:
  File(intptr_t handle, std::string path, bool can_write)
      : handle_(handle), path_(std::move(path)), can_write_(can_write) {}

  intptr_t handle_;  // a descriptor or a HANDLE
  std::string path_;
  bool can_write_;
};

enum class FileKind { kAbsent, kRegular, kOther };
// What is at `path` (a symbolic link is followed).
FileKind KindOf(const std::string& path);
// `path` with every symbolic link and "." or ".." resolved.
Error ResolvePath(const std::string& path, std::string* resolved);
// Removes the file at `path`; absent is fine.
Error RemoveFile(const std::string& path);
// (F4) Syncs the folder that holds `path`.
Error SyncParentDirectory(const std::string& path);
// Moves the whole, synced file `temp` to the name `path`, only if no file
// has that name (kExists otherwise, and `temp` stays): a file never appears
// half made and never replaces another. The folder is synced.
Error PublishNew(const std::string& temp, const std::string& path);
// Appends `bytes` to the file at `path` (made when missing) in one append,
// so that another program appending meanwhile cannot split it, and syncs
// it. The file is opened afresh, not locked, and closed again.
Error AppendAndSync(const std::string& path, std::string_view bytes);
// Waits about `milliseconds`.
void SleepMilliseconds(int milliseconds);

}  // namespace platform
