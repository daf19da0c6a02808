// Leftovers of killed --new-calendar runs: see leftovers.h.
#include "wizard/leftovers.h"

#include <vector>

#include "jet/database.h"
#include "platform/file.h"
#include "platform/path.h"

namespace wizard {

void ClearNewCalendarLeftovers(const std::string& file) {
  const std::string target = platform::AbsolutePath(file);
  const std::string folder = platform::ParentFolder(target);
  const std::string prefix = platform::FileName(target) + ".new-";
  std::vector<std::string> temps;
  for (std::string rest : platform::FolderEntries(folder)) {
    if (!rest.starts_with(prefix)) continue;
    rest.erase(0, prefix.size());
    const bool log = rest.ends_with("-wal");
    if (log) rest.resize(rest.size() - 4);
    if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string temp = platform::JoinPath(folder, prefix + rest);
    // A log whose calendar is there goes with the calendar.
    if (!log || platform::TypeOf(temp) == platform::PathType::kNotFound) temps.push_back(temp);
  }
  for (const std::string& temp : temps) {
    jet::OpenOptions writing;
    writing.read_only = false;
    writing.busy_timeout_ms = 0;
    if (platform::TypeOf(temp) != platform::PathType::kNotFound &&
        jet::Database::Open(temp, writing).status().code() == jet::StatusCode::kBusy) {
      continue;
    }
    (void)platform::RemoveFile(temp);
    (void)platform::RemoveFile(temp + "-wal");
  }
}

}  // namespace wizard
