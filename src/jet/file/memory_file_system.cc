// Files held in memory; see memory_file_system.h.
#include "jet/file/memory_file_system.h"

#include <algorithm>
#include <cstring>

namespace jet {

struct MemoryFileSystem::Node {
  std::string bytes;
  std::string name;    // the name it has while linked
  bool linked = true;  // false once removed or replaced
  // Lock byte -> the Files holding it, and how.
  std::map<uint64_t, std::map<const File*, File::LockKind>> locks;
};

namespace {

using Node = MemoryFileSystem::Node;

Status NoSuchFile(const char* what, const std::string& path) {
  return Status::IoError(std::string(what) + " " + path + ": No such file or directory");
}

class MemoryFile : public File {
 public:
  MemoryFile(std::shared_ptr<Node> node, std::string path, bool can_write)
      : node_(std::move(node)), path_(std::move(path)), can_write_(can_write) {}
  ~MemoryFile() override {
    for (auto& [byte, holders] : node_->locks) holders.erase(this);
  }

  const std::string& path() const override { return path_; }
  bool can_write() const override { return can_write_; }

  Status ReadAt(uint64_t offset, void* buffer, size_t size, size_t* done) const override {
    const std::string& bytes = node_->bytes;
    *done = offset >= bytes.size() ? 0 : std::min<uint64_t>(size, bytes.size() - offset);
    if (*done > 0) std::memcpy(buffer, bytes.data() + offset, *done);
    return Status::OK();
  }
  Status WriteAt(uint64_t offset, const void* data, size_t size) override {
    JET_RETURN_IF_ERROR(Writable("cannot write"));
    std::string& bytes = node_->bytes;
    if (bytes.size() < offset + size) bytes.resize(offset + size, '\0');
    std::memcpy(bytes.data() + offset, data, size);
    return Status::OK();
  }
  Status Sync() override { return Status::OK(); }
  Status Truncate(uint64_t size) override {
    JET_RETURN_IF_ERROR(Writable("cannot truncate"));
    node_->bytes.resize(size, '\0');
    return Status::OK();
  }
  Status Reserve(uint64_t size) override {
    JET_RETURN_IF_ERROR(Writable("cannot grow"));
    if (node_->bytes.size() < size) node_->bytes.resize(size, '\0');
    return Status::OK();
  }
  Result<uint64_t> Size() const override { return uint64_t{node_->bytes.size()}; }

  Result<uint64_t> LinkCount() const override { return uint64_t{node_->linked ? 1u : 0u}; }
  bool StillAtPath() const override { return node_->linked && node_->name == path_; }

  Status Lock(LockByte byte, LockKind kind) override {
    auto& holders = node_->locks[static_cast<uint64_t>(byte)];
    holders.erase(this);
    for (const auto& [holder, held] : holders) {
      if (kind == LockKind::kExclusive || held == LockKind::kExclusive) return FileBusy(path_);
    }
    holders[this] = kind;
    return Status::OK();
  }
  void Unlock(LockByte byte) override { node_->locks[static_cast<uint64_t>(byte)].erase(this); }

 private:
  Status Writable(const char* what) const {
    if (can_write_) return Status::OK();
    return Status::IoError(std::string(what) + " " + path_ + ": it is open for reading only");
  }

  std::shared_ptr<Node> node_;
  std::string path_;
  bool can_write_;
};

}  // namespace

MemoryFileSystem::MemoryFileSystem() = default;
MemoryFileSystem::~MemoryFileSystem() = default;

void MemoryFileSystem::Put(const std::string& path, std::string bytes) {
  (void)Remove(path);
  auto node = std::make_shared<Node>();
  node->bytes = std::move(bytes);
  node->name = path;
  files_[path] = std::move(node);
}

Result<std::string> MemoryFileSystem::Get(const std::string& path) const {
  auto it = files_.find(path);
  if (it == files_.end()) return Status::NotFound("no file " + path);
  return it->second->bytes;
}

Result<std::unique_ptr<File>> MemoryFileSystem::Open(const std::string& path, File::Mode mode) {
  auto it = files_.find(path);
  if (it == files_.end()) {
    if (mode != File::Mode::kCreate) return NoSuchFile("cannot open", path);
    Put(path, "");
    it = files_.find(path);
  }
  return std::unique_ptr<File>(new MemoryFile(it->second, path, mode != File::Mode::kRead));
}

Result<std::unique_ptr<File>> MemoryFileSystem::CreateLike(const std::string& path,
                                                           const File& like) {
  (void)like;  // no permissions to copy
  return Open(path, File::Mode::kCreate);
}

FileKind MemoryFileSystem::KindOf(const std::string& path) {
  return files_.count(path) != 0 ? FileKind::kRegular : FileKind::kAbsent;
}

Result<std::string> MemoryFileSystem::ResolvePath(const std::string& path) {
  if (files_.count(path) == 0) return NoSuchFile("cannot resolve", path);
  return path;
}

Status MemoryFileSystem::Remove(const std::string& path) {
  auto it = files_.find(path);
  if (it == files_.end()) return Status::OK();
  it->second->linked = false;
  files_.erase(it);
  return Status::OK();
}

Status MemoryFileSystem::SyncParentDirectory(const std::string& path) {
  (void)path;
  return Status::OK();
}

Status MemoryFileSystem::PublishNew(const std::string& temp, const std::string& path) {
  if (files_.count(path) != 0) return FileAlreadyExists(path);
  auto it = files_.find(temp);
  if (it == files_.end()) return NoSuchFile("cannot rename", temp);
  it->second->name = path;
  files_[path] = it->second;
  files_.erase(temp);  // `it` is not used past here
  return Status::OK();
}

}  // namespace jet
