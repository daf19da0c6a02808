// The engine's file layer; see file.h.
#include "jet/file/file.h"

namespace jet {

namespace {

FileObserver* g_observer = nullptr;

Status ToStatus(const platform::Error& e) {
  switch (e.kind()) {
    case platform::Error::Kind::kNone: return Status::OK();
    case platform::Error::Kind::kBusy: return Status::Busy(e.message());
    case platform::Error::Kind::kExists: return Status::InvalidArgument(e.message());
    case platform::Error::Kind::kNotRegularFile:
    case platform::Error::Kind::kOther: return Status::IoError(e.message());
  }
  return Status::IoError(e.message());
}

platform::File::Mode PlatformMode(OsFile::Mode mode) {
  switch (mode) {
    case OsFile::Mode::kRead: return platform::File::Mode::kRead;
    case OsFile::Mode::kReadWrite: return platform::File::Mode::kReadWrite;
    case OsFile::Mode::kCreate: return platform::File::Mode::kCreate;
    case OsFile::Mode::kReadMaybeWrite: return platform::File::Mode::kReadMaybeWrite;
  }
  return platform::File::Mode::kRead;
}

}  // namespace

void SetFileObserverForTesting(FileObserver* observer) { g_observer = observer; }

OsFile::OsFile(std::unique_ptr<platform::File> file, std::string path)
    : file_(std::move(file)), path_(std::move(path)) {}

OsFile::~OsFile() = default;

Result<std::unique_ptr<OsFile>> OsFile::Open(const std::string& path, Mode mode) {
  std::unique_ptr<platform::File> file;
  platform::Error e = platform::File::Open(path, PlatformMode(mode), &file);
  if (!e.ok()) return ToStatus(e);
  return std::unique_ptr<OsFile>(new OsFile(std::move(file), path));
}

Result<std::unique_ptr<OsFile>> OsFile::CreateLike(const std::string& path, const OsFile& like) {
  std::unique_ptr<platform::File> file;
  platform::Error e = platform::File::CreateLike(path, *like.file_, &file);
  if (!e.ok()) return ToStatus(e);
  return std::unique_ptr<OsFile>(new OsFile(std::move(file), path));
}

bool OsFile::can_write() const { return file_->can_write(); }

Status OsFile::Observe(FileOp op, uint64_t offset, uint64_t size) {
  if (g_observer == nullptr) return Status::OK();
  return g_observer->Before(op, path_, this, offset, size);
}

Status OsFile::ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const {
  return ToStatus(file_->ReadAt(offset, buffer, size, done));
}

Status OsFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (g_observer != nullptr) {
    JET_RETURN_IF_ERROR(g_observer->BeforeWrite(path_, this, offset, data, size));
  }
  return ToStatus(file_->WriteAt(offset, data, size));
}

Status OsFile::Sync() {
  JET_RETURN_IF_ERROR(Observe(FileOp::kSync, 0, 0));
  return ToStatus(file_->Sync());
}

Status OsFile::Truncate(uint64_t size) {
  JET_RETURN_IF_ERROR(Observe(FileOp::kTruncate, size, 0));
  return ToStatus(file_->Truncate(size));
}

Status OsFile::Reserve(uint64_t size) {
  Result<uint64_t> current = Size();
  if (!current.ok()) return current.status();
  if (*current >= size) return Status::OK();
  JET_RETURN_IF_ERROR(Observe(FileOp::kTruncate, size, 0));
  return ToStatus(file_->Reserve(size));
}

Result<uint64_t> OsFile::Size() const {
  uint64_t size = 0;
  platform::Error e = file_->Size(&size);
  if (!e.ok()) return ToStatus(e);
  return size;
}

Result<uint64_t> OsFile::LinkCount() const {
  uint64_t count = 0;
  platform::Error e = file_->LinkCount(&count);
  if (!e.ok()) return ToStatus(e);
  return count;
}

Status OsFile::CheckStillAtPath() const {
  if (file_->IsAt(path_)) return Status::OK();
  return Status::IoError("the database file " + path_ +
                         " was removed or replaced by another program while it was open");
}

Status OsFile::Lock(LockByte byte, LockKind kind) {
  platform::Error e = file_->Lock(static_cast<uint64_t>(byte), kind == LockKind::kExclusive
                                                                  ? platform::File::LockKind::kExclusive
                                                                  : platform::File::LockKind::kShared);
  if (e.kind() == platform::Error::Kind::kBusy) {
    return Status::Busy("The database is in use by another program: " + path_);
  }
  return ToStatus(e);
}

void OsFile::Unlock(LockByte byte) { file_->Unlock(static_cast<uint64_t>(byte)); }

bool FileExists(const std::string& path) { return KindOf(path) != FileKind::kAbsent; }

Result<std::string> ResolvePath(const std::string& path) {
  std::string resolved;
  platform::Error e = platform::ResolvePath(path, &resolved);
  if (!e.ok()) return ToStatus(e);
  return resolved;
}

Status RemoveFile(const std::string& path) {
  if (g_observer != nullptr) {
    JET_RETURN_IF_ERROR(g_observer->Before(FileOp::kRemove, path, nullptr, 0, 0));
  }
  JET_RETURN_IF_ERROR(ToStatus(platform::RemoveFile(path)));
  return SyncParentDirectory(path);
}

Status SyncParentDirectory(const std::string& path) {
  return ToStatus(platform::SyncParentDirectory(path));
}

Status PublishNew(const std::string& temp, const std::string& path) {
  platform::Error e = platform::PublishNew(temp, path);
  if (e.kind() == platform::Error::Kind::kExists) {
    return Status::InvalidArgument("cannot create " + path + ": the file already exists");
  }
  return ToStatus(e);
}

}  // namespace jet
