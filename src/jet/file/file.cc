// The operating system's files (platform/file.h) as a FileSystem; see
// file.h.
#include "jet/file/file.h"

namespace jet {

namespace {

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

platform::File::Mode PlatformMode(File::Mode mode) {
  switch (mode) {
    case File::Mode::kRead: return platform::File::Mode::kRead;
    case File::Mode::kReadWrite: return platform::File::Mode::kReadWrite;
    case File::Mode::kCreate: return platform::File::Mode::kCreate;
    case File::Mode::kReadMaybeWrite: return platform::File::Mode::kReadMaybeWrite;
  }
  return platform::File::Mode::kRead;
}

class OsFile : public File {
 public:
  OsFile(std::unique_ptr<platform::File> file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}

  const platform::File& platform_file() const { return *file_; }

  const std::string& path() const override { return path_; }
  bool can_write() const override { return file_->can_write(); }

  Status ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const override {
    return ToStatus(file_->ReadAt(offset, buffer, size, done));
  }
  Status WriteAt(uint64_t offset, const void* data, size_t size) override {
    return ToStatus(file_->WriteAt(offset, data, size));
  }
  Status Sync() override { return ToStatus(file_->Sync()); }
  Status Truncate(uint64_t size) override { return ToStatus(file_->Truncate(size)); }
  Status Reserve(uint64_t size) override {
    Result<uint64_t> current = Size();
    if (!current.ok()) return current.status();
    if (*current >= size) return Status::OK();
    return ToStatus(file_->Reserve(size));
  }
  Result<uint64_t> Size() const override {
    uint64_t size = 0;
    platform::Error e = file_->Size(&size);
    if (!e.ok()) return ToStatus(e);
    return size;
  }

  Result<uint64_t> LinkCount() const override {
    uint64_t count = 0;
    platform::Error e = file_->LinkCount(&count);
    if (!e.ok()) return ToStatus(e);
    return count;
  }
  bool StillAtPath() const override { return file_->IsAt(path_); }

  Status Lock(LockByte byte, LockKind kind) override {
    platform::Error e =
        file_->Lock(static_cast<uint64_t>(byte), kind == LockKind::kExclusive
                                                     ? platform::File::LockKind::kExclusive
                                                     : platform::File::LockKind::kShared);
    if (e.kind() == platform::Error::Kind::kBusy) return FileBusy(path_);
    return ToStatus(e);
  }
  void Unlock(LockByte byte) override { file_->Unlock(static_cast<uint64_t>(byte)); }

 private:
  std::unique_ptr<platform::File> file_;
  std::string path_;
};

class OsFileSystem : public FileSystem {
 public:
  Result<std::unique_ptr<File>> Open(const std::string& path, File::Mode mode) override {
    std::unique_ptr<platform::File> file;
    platform::Error e = platform::File::Open(path, PlatformMode(mode), &file);
    if (!e.ok()) return ToStatus(e);
    return std::unique_ptr<File>(new OsFile(std::move(file), path));
  }

  Result<std::unique_ptr<File>> CreateLike(const std::string& path, const File& like) override {
    // A file of another FileSystem has no permissions to copy (a wrapper
    // passes on the file it wraps).
    const auto* os_like = dynamic_cast<const OsFile*>(&like);
    if (os_like == nullptr) {
      return Status::InvalidArgument("cannot make " + path + " like " + like.path() +
                                     ", a file of another file system");
    }
    std::unique_ptr<platform::File> file;
    platform::Error e = platform::File::CreateLike(path, os_like->platform_file(), &file);
    if (!e.ok()) return ToStatus(e);
    return std::unique_ptr<File>(new OsFile(std::move(file), path));
  }

  FileKind KindOf(const std::string& path) override { return platform::KindOf(path); }

  Result<std::string> ResolvePath(const std::string& path) override {
    std::string resolved;
    platform::Error e = platform::ResolvePath(path, &resolved);
    if (!e.ok()) return ToStatus(e);
    return resolved;
  }

  Status Remove(const std::string& path) override {
    JET_RETURN_IF_ERROR(ToStatus(platform::RemoveFile(path)));
    return SyncParentDirectory(path);
  }

  Status SyncParentDirectory(const std::string& path) override {
    return ToStatus(platform::SyncParentDirectory(path));
  }

  Status PublishNew(const std::string& temp, const std::string& path) override {
    platform::Error e = platform::PublishNew(temp, path);
    if (e.kind() == platform::Error::Kind::kExists) return FileAlreadyExists(path);
    return ToStatus(e);
  }
};

}  // namespace

FileSystem& FileSystem::Default() {
  static OsFileSystem* const files = new OsFileSystem();
  return *files;
}

Status FileBusy(const std::string& path) {
  return Status::Busy("The database is in use by another program: " + path);
}

Status FileAlreadyExists(const std::string& path) {
  return Status::InvalidArgument("cannot create " + path + ": the file already exists");
}

}  // namespace jet
