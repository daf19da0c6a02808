// Line ends of the command-line programs' text; see console.h.
#include "platform/console.h"

namespace platform {

std::string WithLineEnds(std::string_view text) {
  if (kLineEnd == "\n") return std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
      out += kLineEnd;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace platform
