// The known folders on Windows; see known_folders.h.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/known_folders.h"
#include "platform/unicode_win32.h"

namespace platform {
namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
  wchar_t* path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) {
    folder = Narrow(path);
  }
  CoTaskMemFree(path);
  return folder;
}

}  // namespace

std::string LocalAppDataFolder() { return KnownFolder(FOLDERID_LocalAppData); }

std::vector<std::string> VirtualisedFolders() {
  std::vector<std::string> folders;
  const KNOWNFOLDERID* const ids[] = {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86,
                                      &FOLDERID_Windows, &FOLDERID_ProgramData};
  for (const KNOWNFOLDERID* id : ids) {
    std::string folder = KnownFolder(*id);
    if (!folder.empty()) folders.push_back(std::move(folder));
  }
  return folders;
}

std::string WineDriveC() { return {}; }

}  // namespace platform
