// Leftovers of killed --new-calendar runs: see leftovers.h.
#include "wizard/leftovers.h"

#include <string_view>
#include <vector>

#include "jet/database.h"
#include "platform/path.h"

namespace wizard {

void ClearNewCalendarLeftovers(const std::string& file) {
  const std::string target = platform::AbsolutePath(file);
  const std::string folder = platform::ParentFolder(target);
  const std::string prefix = platform::FileName(target) + ".new-";
  std::vector<std::string> temps;
  for (const std::string& name : platform::FolderEntries(folder)) {
    if (!name.starts_with(prefix)) continue;
    const std::string_view rest = std::string_view(name).substr(prefix.size());
    const std::string number(rest.substr(0, rest.find_first_not_of("0123456789")));
    if (number.empty()) continue;
    const std::string temp = platform::JoinPath(folder, prefix + number);
    if (number.size() == rest.size()) {
      temps.push_back(temp);
    } else if (platform::JoinPath(folder, name) == jet::Database::LogPath(temp) &&
               platform::TypeOf(temp) == platform::PathType::kNotFound) {
      temps.push_back(temp);  // a log whose calendar is there goes with the calendar
    }
  }
  for (const std::string& temp : temps) {
    jet::OpenOptions writing;
    writing.read_only = false;
    writing.busy_timeout_ms = 0;
    if (platform::TypeOf(temp) != platform::PathType::kNotFound &&
        jet::Database::Open(temp, writing).status().code() == jet::StatusCode::kBusy) {
      continue;
    }
    jet::Database::Discard(temp);
  }
}

}  // namespace wizard
