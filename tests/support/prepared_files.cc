#include "support/prepared_files.h"

#include <chrono>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/file.h"
#include "platform/system.h"
#include "support/temp_folder.h"

namespace tessaly::testing {

namespace fs = std::filesystem;

namespace {

// One folder per test program, and in it one per build of it, so that a
// rebuilt program never reads what an older one made.
fs::path BuildFolder() {
  const std::string program = platform::ProgramFile();
  std::error_code error;
  const auto time = fs::last_write_time(program, error).time_since_epoch().count();
  const auto size = fs::file_size(program, error);
  const fs::path root = fs::temp_directory_path() / "tessaly-prepared" /
                        std::to_string(std::hash<std::string>()(program));
  const std::string build = std::to_string(time) + "-" + std::to_string(size);
  if (!fs::exists(root / build)) {
    // Older builds' files are of no use any more, once no run of them can
    // still be reading them.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(2);
    for (const auto& entry : fs::directory_iterator(root, error)) {
      if (entry.path().filename() != build && fs::last_write_time(entry.path(), error) < old) {
        fs::remove_all(entry.path(), error);
      }
    }
  }
  fs::create_directories(root / build);
  return root / build;
}

}  // namespace

fs::path PreparedFolder(const std::string& name, const std::function<void(const fs::path&)>& make) {
  const fs::path folder = BuildFolder() / name;
  if (fs::exists(folder)) return folder;
  // A lock of the system's, which a process that dies gives up. On Windows
  // the file cannot even be opened while another process holds it, so the
  // open is tried again as well as the lock.
  std::unique_ptr<platform::File> lock;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  for (;;) {
    if (lock == nullptr &&
        !platform::File::Open(folder.string() + ".lock", platform::File::Mode::kCreate, &lock)
             .ok()) {
      lock.reset();
    }
    if (lock != nullptr && lock->Lock(0, platform::File::LockKind::kExclusive).ok()) break;
    if (fs::exists(folder)) return folder;  // made meanwhile
    if (std::chrono::steady_clock::now() > deadline) {
      const fs::path own = MakeTempFolder("tessaly_prepared");
      make(own);
      return own;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (fs::exists(folder)) return folder;  // made while we waited
  const fs::path made = MakeTempFolder("tessaly_prepared");
  std::error_code error;
  try {
    make(made);
  } catch (...) {
    fs::remove_all(made, error);
    throw;
  }
  fs::rename(made, folder, error);
  if (error) {
    // Across file systems: copied, then the copy renamed.
    const fs::path copy = folder.string() + ".copy";
    fs::remove_all(copy, error);
    fs::copy(made, copy, fs::copy_options::recursive);
    fs::rename(copy, folder);
    fs::remove_all(made, error);
  }
  return folder;
}

}  // namespace tessaly::testing
