// A FileSystem that strikes at a chosen operation; see fault_file_system.h.
#include "jet/testing/fault_file_system.h"

#include <algorithm>
#include <cstdlib>

#include "jet/log/wal.h"

namespace jet::testing {

namespace {

Status Failure() { return Status::IoError("cannot write: Input/output error"); }

}  // namespace

// A file of the base FileSystem whose writes, truncates and syncs are
// counted first.
class FaultFile : public File {
 public:
  FaultFile(FaultFileSystem& owner, std::unique_ptr<File> base)
      : owner_(owner), base_(std::move(base)) {}

  const File& base() const { return *base_; }

  const std::string& path() const override { return base_->path(); }
  bool can_write() const override { return base_->can_write(); }
  Status ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const override {
    return base_->ReadAt(offset, buffer, size, done);
  }
  Status WriteAt(uint64_t offset, const void* data, size_t size) override {
    JET_RETURN_IF_ERROR(owner_.BeforeWrite({FileOp::kWrite, path(), offset, size}, *base_, data));
    return base_->WriteAt(offset, data, size);
  }
  Status Sync() override {
    JET_RETURN_IF_ERROR(owner_.Before({FileOp::kSync, path(), 0, 0}, base_.get()));
    return base_->Sync();
  }
  Status Truncate(uint64_t size) override {
    JET_RETURN_IF_ERROR(owner_.Before({FileOp::kTruncate, path(), size, 0}, base_.get()));
    return base_->Truncate(size);
  }
  Status Reserve(uint64_t size) override {
    // Only a Reserve that grows the file changes it.
    Result<uint64_t> current = base_->Size();
    if (!current.ok()) return current.status();
    if (*current >= size) return Status::OK();
    JET_RETURN_IF_ERROR(owner_.Before({FileOp::kTruncate, path(), size, 0}, base_.get()));
    return base_->Reserve(size);
  }
  Result<uint64_t> Size() const override { return base_->Size(); }
  Result<uint64_t> LinkCount() const override { return base_->LinkCount(); }
  bool StillAtPath() const override { return base_->StillAtPath(); }
  Status Lock(LockByte byte, LockKind kind) override { return base_->Lock(byte, kind); }
  void Unlock(LockByte byte) override { base_->Unlock(byte); }

 private:
  FaultFileSystem& owner_;
  std::unique_ptr<File> base_;
};

FaultFileSystem::FaultFileSystem(FileSystem& base) : base_(base) {}

FaultFileSystem::~FaultFileSystem() = default;

void FaultFileSystem::StrikeAt(uint64_t n, Fault fault) {
  strike_at_ = n;
  fault_ = fault;
  seed_ = n * 2654435761u + 1;
}

Result<std::unique_ptr<File>> FaultFileSystem::Open(const std::string& path, File::Mode mode) {
  Result<std::unique_ptr<File>> file = base_.Open(path, mode);
  if (!file.ok()) return file.status();
  return std::unique_ptr<File>(new FaultFile(*this, std::move(file).value()));
}

Result<std::unique_ptr<File>> FaultFileSystem::CreateLike(const std::string& path,
                                                          const File& like) {
  const auto* ours = dynamic_cast<const FaultFile*>(&like);
  Result<std::unique_ptr<File>> file = base_.CreateLike(path, ours ? ours->base() : like);
  if (!file.ok()) return file.status();
  return std::unique_ptr<File>(new FaultFile(*this, std::move(file).value()));
}

Status FaultFileSystem::Remove(const std::string& path) {
  JET_RETURN_IF_ERROR(Before({FileOp::kRemove, path, 0, 0}, nullptr));
  return base_.Remove(path);
}

Status FaultFileSystem::Before(const FileOperation& operation, File* file) {
  if (failing_) return Failure();
  ++count_;
  if (hook_) JET_RETURN_IF_ERROR(hook_(operation));
  if (count_ == strike_at_) {
    if (fault_ == Fault::kError) return Failure();
    if (fault_ == Fault::kErrorOnward) {
      failing_ = true;
      return Failure();
    }
    Crash();
  }
  if ((fault_ == Fault::kPowerCut || fault_ == Fault::kSectors) && file != nullptr) {
    Remember(operation, *file);
  }
  return Status::OK();
}

Status FaultFileSystem::BeforeWrite(const FileOperation& operation, File& file, const void* data) {
  if (fault_ == Fault::kTorn && !failing_ && count_ + 1 == strike_at_) {
    // Whole sectors of a page reach the disk, or five eighths of a smaller
    // write (of a log header slot: into its mark, short of its checksum).
    const uint64_t size = operation.size;
    const uint64_t part =
        size >= 2 * kSectorSize ? size / 2 / kSectorSize * kSectorSize : size * 5 / 8;
    (void)file.WriteAt(operation.offset, data, part);
    std::_Exit(kCrashExit);
  }
  return Before(operation, &file);
}

bool FaultFileSystem::Coin() {
  seed_ = seed_ * 6364136223846793005ull + 1442695040888963407ull;
  return (seed_ >> 33) & 1;
}

void FaultFileSystem::Remember(const FileOperation& operation, File& file) {
  Pending& p = pending_[operation.path];
  if (operation.op == FileOp::kSync) {
    p.undo.clear();
    p.synced_size.reset();
    return;
  }
  if (!p.synced_size) p.synced_size = file.Size().value();
  const uint64_t now = file.Size().value();
  if (operation.op == FileOp::kWrite) {
    Undo u{operation.offset, std::string(operation.size, '\0')};
    size_t done = 0;
    (void)file.ReadAt(operation.offset, u.old.data(), operation.size, &done);
    u.old.resize(done);
    p.undo.push_back(std::move(u));
  } else if (operation.op == FileOp::kTruncate && operation.offset < now) {
    Undo u{operation.offset, std::string(now - operation.offset, '\0')};
    size_t done = 0;
    (void)file.ReadAt(operation.offset, u.old.data(), u.old.size(), &done);
    p.undo.push_back(std::move(u));
  }
}

void FaultFileSystem::Crash() {
  if (fault_ == Fault::kPowerCut || fault_ == Fault::kSectors) {
    for (auto& [path, p] : pending_) {
      if (p.synced_size && base_.Exists(path)) PowerCut(path, p);
    }
  }
  std::_Exit(kCrashExit);
}

void FaultFileSystem::PowerCut(const std::string& path, const Pending& p) {
  auto file = base_.Open(path, File::Mode::kReadWrite);
  if (!file.ok()) return;
  const uint64_t now_size = (*file)->Size().value();
  const uint64_t synced_size = *p.synced_size;
  std::string now(now_size, '\0');
  size_t done = 0;
  (void)(*file)->ReadAt(0, now.data(), now_size, &done);
  // The file as its last sync left it: zeros past its size then.
  std::string synced = now;
  for (auto it = p.undo.rbegin(); it != p.undo.rend(); ++it) {
    if (synced.size() < it->offset + it->old.size()) synced.resize(it->offset + it->old.size());
    synced.replace(it->offset, it->old.size(), it->old);
  }
  synced.resize(std::max(now_size, synced_size));
  std::fill(synced.begin() + static_cast<std::ptrdiff_t>(synced_size), synced.end(), '\0');
  auto lost = [&] { return fault_ == Fault::kPowerCut || Coin(); };
  for (uint64_t at = 0; at < now_size; at += kSectorSize) {
    const uint64_t length = std::min<uint64_t>(kSectorSize, now_size - at);
    if (now.compare(at, length, synced, at, length) != 0 && lost()) {
      (void)(*file)->WriteAt(at, synced.data() + at, length);
    }
  }
  if (now_size > synced_size && lost()) (void)(*file)->Truncate(synced_size);
  if (now_size < synced_size && lost()) {
    (void)(*file)->WriteAt(now_size, synced.data() + now_size, synced_size - now_size);
  }
}

}  // namespace jet::testing
