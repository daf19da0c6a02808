// Folders the system names for the user and for installed programs, as the
// VirtualStore lookup needs them (virtual_store.h), and where Windows
// programs find drive C on other systems. Paths are UTF-8.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The user's local application data folder (%LOCALAPPDATA% on Windows);
// empty on systems without one.
std::string LocalAppDataFolder();

// The folders whose writes Windows redirects into the VirtualStore for a
// program it virtualises: both Program Files folders, the Windows folder and
// ProgramData, as this system has them. Empty on other systems.
std::vector<std::string> VirtualisedFolders();

// The folder that Windows programs run under Wine see as C:\ :
// $WINEPREFIX/drive_c, by default ~/.wine/drive_c. Empty on Windows.
std::string WineDriveC();

}  // namespace platform
