// Copying a file whole; see file_copy.h.
#include "platform/file_copy.h"

#include <memory>
#include <vector>

#include "platform/file.h"
#include "platform/path.h"

namespace platform {

Error CopyToNewFile(const std::string& from, const std::string& to) {
  const std::string folder = ParentFolder(to);
  if (!MakeFolders(folder)) return Error(Error::Kind::kOther, "cannot make the folder " + folder);
  std::unique_ptr<File> source;
  if (Error e = File::Open(from, File::Mode::kRead, &source); !e.ok()) return e;
  const std::string temp = to + ".copying";
  (void)RemoveFile(temp);  // left by a copy that was cut short
  Error e;
  {
    std::unique_ptr<File> target;
    e = File::Open(temp, File::Mode::kCreate, &target);
    std::vector<char> buffer(1 << 20);
    for (uint64_t offset = 0; e.ok();) {
      size_t got = 0;
      e = source->ReadAt(offset, buffer.data(), buffer.size(), &got);
      if (!e.ok() || got == 0) break;
      e = target->WriteAt(offset, buffer.data(), got);
      offset += got;
    }
    if (e.ok()) e = target->Sync();
  }
  if (e.ok()) e = PublishNew(temp, to);
  if (!e.ok()) (void)RemoveFile(temp);
  return e;
}

}  // namespace platform
