// The program's folder and name, from its file; see system.h.
#include "platform/path.h"
#include "platform/system.h"

namespace platform {

std::string ProgramFolder() {
  const std::string file = ProgramFile();
  return file.empty() ? std::string() : ParentFolder(file);
}

std::string ProgramStem() {
  const std::string file = ProgramFile();
  return FileStem(file.empty() ? ProgramShortName() : file);
}

}  // namespace platform
