// Hex and shortened texts; see text_forms.h.
#include "jet/base/text_forms.h"

namespace jet {

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

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string ShortenedText(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "...";
}

}  // namespace jet
