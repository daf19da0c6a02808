// A FileSystem for tests that passes every operation on to another one
// (the operating system's by default) and strikes at a chosen one: every
// write, truncate (or Reserve that grows a file), sync and removal is
// counted, and at the n-th
//   kKill         the process ends (everything written so far stays);
//   kPowerCut     the process ends, and every write since its file's last
//                 sync is lost: each file is put back as that sync left it;
//   kSectors      as kPowerCut, but each 512-byte sector written since the
//                 last sync, and a file's growth or shrinking since then, is
//                 kept or lost by a coin flip seeded with n;
//   kTorn         the write reaches the disk part way (whole sectors of a
//                 page, part of a smaller write), then the process ends;
//   kError        the operation fails (an I/O error) and the program goes on;
//   kErrorOnward  it and every later one fail (a disk that is gone).
// A hook sees each counted operation before it happens, for tests that
// fail operations in their own way or act at a chosen moment. Reads, sizes,
// locks, opening and naming files pass straight through.
//
// The process ends with std::_Exit(kCrashExit): crash tests run the writer
// in a child process (support/child_process.h). Power cuts put files back
// through a second handle, which Windows refuses while the writer holds
// the file: there only kills, tears and errors are tried.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/file/file.h"

namespace jet::testing {

// The exit status of a child that a FaultFileSystem ended.
inline constexpr int kCrashExit = 77;

enum class Fault { kKill, kPowerCut, kSectors, kTorn, kError, kErrorOnward };

enum class FileOp { kWrite, kTruncate, kSync, kRemove };

struct FileOperation {
  FileOp op;
  const std::string& path;
  uint64_t offset;  // kWrite: where; kTruncate: the new size
  uint64_t size;    // kWrite: how many bytes
};

class FaultFileSystem : public FileSystem {
 public:
  explicit FaultFileSystem(FileSystem& base = FileSystem::Default());
  ~FaultFileSystem() override;

  // Does what `fault` says at the n-th counted operation (1: the first; 0:
  // never).
  void StrikeAt(uint64_t n, Fault fault);
  // Called before each counted operation; a Status that is not OK makes the
  // operation fail with it instead of happening.
  void SetHook(std::function<Status(const FileOperation&)> hook) { hook_ = std::move(hook); }
  // Operations counted so far.
  uint64_t operations() const { return count_; }

  Result<std::unique_ptr<File>> Open(const std::string& path, File::Mode mode) override;
  Result<std::unique_ptr<File>> CreateLike(const std::string& path, const File& like) override;
  FileKind KindOf(const std::string& path) override { return base_.KindOf(path); }
  Result<std::string> ResolvePath(const std::string& path) override {
    return base_.ResolvePath(path);
  }
  Status Remove(const std::string& path) override;
  Status SyncParentDirectory(const std::string& path) override {
    return base_.SyncParentDirectory(path);
  }
  Status PublishNew(const std::string& temp, const std::string& path) override {
    return base_.PublishNew(temp, path);
  }

 private:
  friend class FaultFile;
  struct Undo {
    uint64_t offset;
    std::string old;
  };
  // What a power cut puts back in one file.
  struct Pending {
    std::optional<uint64_t> synced_size;
    std::vector<Undo> undo;
  };

  // Counts `operation` on `file` (null for a removal) and strikes if it is
  // the one.
  Status Before(const FileOperation& operation, File* file);
  // Before for a write, which a kTorn strike writes part of.
  Status BeforeWrite(const FileOperation& operation, File& file, const void* data);
  void Remember(const FileOperation& operation, File& file);
  [[noreturn]] void Crash();
  void PowerCut(const std::string& path, const Pending& pending);
  bool Coin();

  FileSystem& base_;
  std::function<Status(const FileOperation&)> hook_;
  uint64_t strike_at_ = 0;
  Fault fault_ = Fault::kKill;
  uint64_t seed_ = 0;
  uint64_t count_ = 0;
  bool failing_ = false;
  std::map<std::string, Pending> pending_;
};

}  // namespace jet::testing
