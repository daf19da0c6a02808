// Files that the test processes of one test program share: the first that
// asks makes them, the others wait for it and read them. Crash sweeps split
// into several test entries (each run as a process of its own, in
// parallel) prepare their calendars and leftover logs only once so.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace tessaly::testing {

// The folder holding the files `make` wrote into it for `name`. Made once
// per build of the running test program: `make` runs in a fresh folder,
// which then appears whole under the name (a rename), or, if it fails or
// throws, not at all. Callers only read what is there (copy before writing).
// Another process making the same name meanwhile is waited for (up to ten
// minutes; after that this one makes its own).
std::filesystem::path PreparedFolder(const std::string& name,
                                     const std::function<void(const std::filesystem::path&)>& make);

}  // namespace tessaly::testing
