// Where Windows keeps a virtualised program's own copy of a file.
//
// The calendar is an old 32-bit program without an elevation manifest, so on
// Windows Vista and later its writes into the protected folders (both Program
// Files folders, the Windows folder, ProgramData) are redirected into the
// user's %LOCALAPPDATA%\VirtualStore, under the same path without the drive:
//
//   C:\Program Files\Tessaly Desktop Calendar\tessdata.mdb
//   -> %LOCALAPPDATA%\VirtualStore\Program Files\Tessaly Desktop Calendar\tessdata.mdb
//
// From its first write on, the calendar reads that copy, and the file under
// Program Files stays as the installer left it. This program declares its
// privileges in its manifest and so is never redirected: it must look for the
// copy itself, and update the copy when there is one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wizard {

// The protected folders of a Windows installed on C:.
std::vector<std::string> UsualVirtualisedFolders();

// The VirtualStore path of `path` for the user whose local application data
// folder is `local_app_data`, or the empty string when `path` is not inside
// one of `virtualised_folders` (or either text is empty).
//
// Paths are absolute Windows paths on a drive ("C:\..."); "/" counts as "\",
// runs of separators as one, "." and ".." components are resolved, a leading
// "\\?\" is ignored, and folders are compared without regard to ASCII case.
// The result uses "\" throughout and keeps the spelling of `path` below its
// drive. A UNC path or a relative one is never virtualised.
std::string VirtualStorePath(std::string_view path, std::string_view local_app_data,
                             const std::vector<std::string>& virtualised_folders);

// The file the calendar uses for `path`: its VirtualStore copy when
// `copy_exists` says there is one, else `path` itself. `copy_exists` is asked
// only about a VirtualStore path.
template <typename CopyExists>
std::string PreferVirtualStoreCopy(const std::string& path, std::string_view local_app_data,
                                   const std::vector<std::string>& virtualised_folders,
                                   CopyExists copy_exists) {
  std::string copy = VirtualStorePath(path, local_app_data, virtualised_folders);
  if (!copy.empty() && copy_exists(copy)) return copy;
  return path;
}

// The same with this system's folders, and a copy that counts when the load
// check's lookup lists it as an ordinary file. Unchanged on systems without a
// VirtualStore.
std::string PreferVirtualStoreCopy(const std::string& path);

}  // namespace wizard
