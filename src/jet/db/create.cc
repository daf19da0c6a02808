// New databases: publishing the file of an empty one; see create.h and
// database.h.
//
// Database::Create builds the whole new file in memory through a PageFile
// on an image (the same space, row and index code that changes existing
// files), writes it to a temporary file in the target's folder, syncs it,
// and publishes it under the target name (FileSystem::PublishNew), which
// fails when the name is taken, so an existing file is never overwritten,
// even by a file that appears while we build; and since the name only ever
// points at a synced, whole file, a crash leaves either no file or the
// whole new database (at worst a stray temporary, never a torn database).
// The pager cannot do this itself: it opens a database that already has a
// header page.
#include "jet/db/create.h"

#include <random>

#include "jet/file/file.h"
#include "jet/log/wal.h"
#include "jet/ole_date.h"
#include "platform/system.h"

namespace jet {

namespace {

// Writes `image` to a temporary file beside `path`, syncs it and moves it
// to `path` (refused when the name is taken).
Status PublishFile(FileSystem& files, const std::string& path, const std::string& image) {
  std::random_device random;
  const std::string temp = path + ".creating-" + std::to_string(random());
  {
    Result<std::unique_ptr<File>> out = files.Open(temp, File::Mode::kCreate);
    if (!out.ok()) return out.status();
    Status s = (*out)->WriteAt(0, image.data(), image.size());
    if (s.ok()) s = (*out)->Sync();
    if (!s.ok()) {
      (void)files.Remove(temp);
      return s;
    }
  }
  Status s = files.PublishNew(temp, path);
  if (!s.ok()) (void)files.Remove(temp);
  return s;
}

}  // namespace

double OleDateNow() {
  return static_cast<double>(kUnixEpochOleDay) +
         static_cast<double>(platform::UnixTimeNow()) / 86400.0;
}

Result<std::unique_ptr<Database>> Database::Create(const std::string& path,
                                                   const CreateOptions& options) {
  FileSystem& files =
      options.open.file_system != nullptr ? *options.open.file_system : FileSystem::Default();
  if (files.Exists(path)) return FileAlreadyExists(path);
  const double date = options.creation_date != 0 ? options.creation_date : OleDateNow();
  std::string image;
  const Format& format = options.version == JetVersion::kJet3 ? kJet3Format : kJet4Format;
  JET_RETURN_IF_ERROR(BuildEmptyDatabase(format, date, &image));
  JET_RETURN_IF_ERROR(PublishFile(files, path, image));
  OpenOptions open = options.open;
  open.read_only = false;
  return Open(path, open);
}

std::string Database::LogPath(const std::string& path) { return Wal::PathFor(path); }

void Database::Discard(const std::string& path) {
  FileSystem& files = FileSystem::Default();
  (void)files.Remove(path);
  (void)files.Remove(Wal::PathFor(path));
}

}  // namespace jet
