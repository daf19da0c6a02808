// The calendar's file where Windows virtualises the calendar
// (platform/virtual_store.h): the copy the calendar reads, and the copy an
// update makes when the user may not change the file in place, as the
// calendar's own first write would have made it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace wizard {

// What these rules ask of the system; tests give their own.
struct VirtualStoreSystem {
  std::string local_app_data;  // empty: no VirtualStore
  std::vector<std::string> virtualised_folders;
  // True for an ordinary file, as the load check's lookup lists one.
  std::function<bool(const std::string& path)> is_file;
  // True when this user may not open the existing file for writing.
  std::function<bool(const std::string& path)> write_denied;
  // Copies `from` to the new file `to` (folders made on the way), whole or
  // not at all.
  std::function<platform::Error(const std::string& from, const std::string& to)> copy;
};

// This system's: the user's folders, the load check's lookup, the
// platform's access test and copy. Never virtualises on systems without a
// VirtualStore.
VirtualStoreSystem ThisSystemsVirtualStore();

// The file the calendar uses for `path`: its VirtualStore copy when there is
// one, else `path` itself. Only a VirtualStore path is looked up.
std::string PreferVirtualStoreCopy(const std::string& path, const VirtualStoreSystem& system);
std::string PreferVirtualStoreCopy(const std::string& path);

// The file an update of `path` writes.
struct UpdateTarget {
  std::string path;
  bool is_copy = false;  // the VirtualStore copy of the file named
  bool made = false;     // ... made just now
};
// Its VirtualStore copy when there is one. Else, when `path` lies in a
// virtualised folder and this user may not write it, a copy made now in
// the VirtualStore, which the calendar reads from then on, as Windows would
// have made it at the calendar's first write. Else `path`. Throws
// errors::RuntimeError 75 "Path/File access error" when the copy cannot be
// made; no part of it is left then.
UpdateTarget TargetForUpdate(const std::string& path, const VirtualStoreSystem& system);

}  // namespace wizard
