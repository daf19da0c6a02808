// Files held in memory, as a FileSystem (file.h): a database opened on an
// image of a whole file (Database::OpenImage), a new file built before it
// is published, tests and fuzzing. Names are plain strings: no folders, no
// links (ResolvePath returns the name as given). Sync does nothing, since
// nothing outlives the MemoryFileSystem. A removed file stays readable and
// writable through the Files open on it, as on POSIX systems. Locks (F3)
// hold between Files of this MemoryFileSystem.
//
// Not thread-safe.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "jet/file/file.h"

namespace jet {

class MemoryFileSystem : public FileSystem {
 public:
  MemoryFileSystem();
  ~MemoryFileSystem() override;

  // Makes `path` a file holding `bytes`, replacing what was there.
  void Put(const std::string& path, std::string bytes);
  // The bytes of `path` (kNotFound when there is no such file).
  Result<std::string> Get(const std::string& path) const;

  Result<std::unique_ptr<File>> Open(const std::string& path, File::Mode mode) override;
  Result<std::unique_ptr<File>> CreateLike(const std::string& path, const File& like) override;
  FileKind KindOf(const std::string& path) override;
  Result<std::string> ResolvePath(const std::string& path) override;
  Status Remove(const std::string& path) override;
  Status SyncParentDirectory(const std::string& path) override;
  Status PublishNew(const std::string& temp, const std::string& path) override;

  struct Node;

 private:
  std::map<std::string, std::shared_ptr<Node>> files_;
};

}  // namespace jet
