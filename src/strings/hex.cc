// Hex digits; see hex.h.
#include "strings/hex.h"

namespace strings {

std::string HexText(std::string_view bytes, std::string_view separator) {
  std::string text;
  text.reserve(bytes.size() * (2 + separator.size()));
  char pair[2];
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text += separator;
    PutHex(pair, bytes.substr(i, 1));
    text.append(pair, sizeof pair);
  }
  return text;
}

}  // namespace strings
