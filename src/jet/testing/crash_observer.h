// A crash at a chosen file operation, for crash tests: the observer counts
// every write, truncate, sync and removal, and just before the n-th ends the
// process, either as a killed process (everything written so far stays) or
// as a power cut (every write not yet synced is lost: the files are put back
// as their last sync left them first). Used by *_test.cc only, in a child
// process (support/child_process.h).
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jet/file/file.h"

namespace jet::testing {

// The exit status of a child that the observer ended.
inline constexpr int kCrashExit = 77;

class CrashObserver : public FileObserver {
 public:
  // stop_at 0: never.
  CrashObserver(uint64_t stop_at, bool power_cut) : stop_at_(stop_at), power_cut_(power_cut) {}

  Status Before(FileOp op, const std::string& path, OsFile* file, uint64_t offset,
                uint64_t size) override {
    if (++count_ == stop_at_) Crash();
    if (!power_cut_ || file == nullptr) return Status::OK();
    Pending& p = pending_[path];
    if (op == FileOp::kSync) {
      p.undo.clear();
      p.synced_size.reset();
      return Status::OK();
    }
    if (!p.synced_size) p.synced_size = file->Size().value();
    if (op == FileOp::kWrite) {
      Undo u{offset, std::string(size, '\0')};
      size_t done = 0;
      (void)file->ReadAt(offset, u.old.data(), size, &done);
      u.old.resize(done);
      p.undo.push_back(std::move(u));
    } else if (op == FileOp::kTruncate) {
      const uint64_t now = file->Size().value();
      if (offset < now) {
        Undo u{offset, std::string(now - offset, '\0')};
        size_t done = 0;
        (void)file->ReadAt(offset, u.old.data(), u.old.size(), &done);
        p.undo.push_back(std::move(u));
      }
    }
    return Status::OK();
  }

  // Operations seen so far.
  uint64_t count() const { return count_; }

 private:
  struct Undo {
    uint64_t offset;
    std::string old;
  };
  struct Pending {
    std::optional<uint64_t> synced_size;
    std::vector<Undo> undo;
  };

  void Crash() {
    if (power_cut_) {
      SetFileObserverForTesting(nullptr);
      for (auto& [path, p] : pending_) {
        if (!p.synced_size) continue;
        auto file = OsFile::Open(path, OsFile::Mode::kReadWrite);
        if (!file.ok()) continue;
        for (auto it = p.undo.rbegin(); it != p.undo.rend(); ++it) {
          (void)(*file)->WriteAt(it->offset, it->old.data(), it->old.size());
        }
        (void)(*file)->Truncate(*p.synced_size);
      }
    }
    std::_Exit(kCrashExit);
  }

  uint64_t stop_at_;
  bool power_cut_;
  uint64_t count_ = 0;
  std::map<std::string, Pending> pending_;
};

}  // namespace jet::testing
