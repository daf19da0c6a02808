// Where Windows keeps a virtualised program's own copy of a file.
//
// An old 32-bit program without an elevation manifest (the calendar is one)
// is virtualised on Windows Vista and later: its writes into the protected
// folders (both Program Files folders, the Windows folder, ProgramData) are
// redirected into the user's %LOCALAPPDATA%\VirtualStore, under the same
// path without the drive:
//
//   C:\Program Files\Tessaly Desktop Calendar\tessdata.mdb
//   -> %LOCALAPPDATA%\VirtualStore\Program Files\Tessaly Desktop Calendar\tessdata.mdb
//
// From its first write on, such a program reads that copy, and the file
// under Program Files stays as the installer left it. Our programs declare
// their privileges in their manifests and so are never redirected: they
// look for the copies themselves, and write where the redirection would.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

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

// The same with this user's folders (known_folders.h); always empty on
// systems without a VirtualStore.
std::string VirtualStorePath(std::string_view path);

}  // namespace platform
