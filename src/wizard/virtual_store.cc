// The calendar's file under virtualisation: see virtual_store.h.
#include "wizard/virtual_store.h"

#include "errors/runtime_error.h"
#include "platform/file_copy.h"
#include "platform/file_lookup.h"
#include "platform/known_folders.h"
#include "platform/virtual_store.h"

namespace wizard {

VirtualStoreSystem ThisSystemsVirtualStore() {
  return {platform::LocalAppDataFolder(), platform::VirtualisedFolders(),
          [](const std::string& path) {
            return platform::LookUpFile(path) == platform::Lookup::kOrdinaryFile;
          },
          platform::WriteAccessDenied, platform::CopyToNewFile};
}

std::string PreferVirtualStoreCopy(const std::string& path, const VirtualStoreSystem& system) {
  std::string copy =
      platform::VirtualStorePath(path, system.local_app_data, system.virtualised_folders);
  if (!copy.empty() && system.is_file(copy)) return copy;
  return path;
}

std::string PreferVirtualStoreCopy(const std::string& path) {
  return PreferVirtualStoreCopy(path, ThisSystemsVirtualStore());
}

UpdateTarget TargetForUpdate(const std::string& path, const VirtualStoreSystem& system) {
  const std::string copy =
      platform::VirtualStorePath(path, system.local_app_data, system.virtualised_folders);
  if (copy.empty()) return {path};
  if (system.is_file(copy)) return {copy, true, false};
  if (!system.is_file(path) || !system.write_denied(path)) return {path};
  if (const platform::Error copied = system.copy(path, copy); !copied.ok()) {
    throw errors::RuntimeError(75, "Path/File access error: you may not change '" + path +
                                       "', and it could not be copied to '" + copy +
                                       "': " + copied.message());
  }
  return {copy, true, true};
}

}  // namespace wizard
