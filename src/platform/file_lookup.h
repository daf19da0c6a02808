// The file lookup of the window's load check: what a directory listing with
// normal attributes finds under a name. Ordinary files are listed, read-only
// ones included; folders, hidden files and system files are not.
#pragma once

#include <string>

namespace platform {

enum class Lookup {
  kOrdinaryFile,  // listed
  kNotListed,     // missing (the folder on the way too), a folder, a hidden or system file
  kBadName,       // a name the system cannot take: too long, bad characters, no such drive
  kFailed,        // the lookup itself failed: a folder that cannot be searched, a drive not ready
};

// Hidden means the hidden attribute on Windows, and a name beginning with "."
// elsewhere; system files exist on Windows only. The empty path is not
// listed.
Lookup LookUpFile(const std::string& path);

// True when this user may not open the existing file `path` for writing
// (its permissions, a read-only file or medium). False when it opens, and
// for every other failure (missing, in use), which the open step reports.
bool WriteAccessDenied(const std::string& path);

}  // namespace platform
