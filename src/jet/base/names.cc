// Name comparisons; see names.h.
#include "jet/names.h"

#include "strings/ascii.h"

namespace jet {

bool NamesEqual(std::string_view a, std::string_view b) {
  return strings::Latin1CompareNoCase(a, b) == 0;
}

}  // namespace jet
