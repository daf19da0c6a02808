// Hex digits; see hex.h.
#include "strings/hex.h"

namespace strings {

std::string HexText(std::string_view bytes, std::string_view separator) {
  std::string text;
  text.reserve(bytes.size() * (2 + separator.size()));
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text += separator;
    const auto b = static_cast<unsigned char>(bytes[i]);
    text += kUpperHexDigits[b >> 4];
    text += kUpperHexDigits[b & 0x0F];
  }
  return text;
}

}  // namespace strings
