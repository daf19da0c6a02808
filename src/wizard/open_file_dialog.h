// The open-file dialog of the Browse button behind a small interface, so that
// each toolkit supplies its own and tests a fake; and what Browse asks of it.
#pragma once

#include <string>
#include <string_view>

namespace wizard {

inline constexpr std::string_view kDialogTitle = "Select Tessaly Database File";
inline constexpr std::string_view kDialogFilter = "Database Files (*.mdb)";
inline constexpr std::string_view kDialogFilterPattern = "*.mdb";
inline constexpr std::string_view kDialogDefaultSuffix = "mdb";

// What the Browse button asks of the open-file dialog before each opening.
struct OpenFileSettings {
  std::string title;           // the dialog's caption
  std::string initial_folder;  // the folder shown first
  std::string default_suffix;  // added to a typed name without one, no dot: "mdb"
  std::string filter;          // the one entry's description: "Database Files (*.mdb)"
  bool file_must_exist = true;
  std::string file_name;       // the name the dialog was left with last time
  std::string filter_pattern;  // the one entry's pattern: "*.mdb"
};

class OpenFileDialog {
 public:
  virtual ~OpenFileDialog() = default;
  // Shows the dialog modally. Returns the full path chosen, or the empty
  // string when the user closed it without a choice.
  virtual std::string ShowOpen(const OpenFileSettings& settings) = 0;
};

// The settings of the database dialog: its title, one filter for .mdb files,
// the default extension and the must-exist rule; `initial_folder` is the
// program's folder, `file_name` the name the dialog kept from last time.
OpenFileSettings DatabaseDialogSettings(std::string initial_folder, std::string file_name);

}  // namespace wizard
