#include "wizard/open_file_dialog.h"

#include <utility>

namespace wizard {

OpenFileSettings DatabaseDialogSettings(std::string initial_folder, std::string file_name) {
  OpenFileSettings settings;
  settings.title = kDialogTitle;
  settings.initial_folder = std::move(initial_folder);
  settings.default_suffix = kDialogDefaultSuffix;
  settings.filter = kDialogFilter;
  settings.filter_pattern = kDialogFilterPattern;
  settings.file_must_exist = true;
  settings.file_name = std::move(file_name);
  return settings;
}

}  // namespace wizard
