// UTF-8; see utf8.h.
#include "strings/utf8.h"

namespace strings {

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

namespace internal {

size_t MalformedUtf8Byte(std::string_view utf8, size_t i) {
  const auto lead = static_cast<unsigned char>(utf8[i]);
  // The bytes the lead promises: a continuation byte missing among them is
  // the fault; when they are all there, the lead is (overlong, surrogate,
  // past U+10FFFF, or no lead at all).
  const size_t promised = lead >= 0xC0 && lead <= 0xDF   ? 1
                          : lead >= 0xE0 && lead <= 0xEF ? 2
                          : lead >= 0xF0 && lead <= 0xF7 ? 3
                                                         : 0;
  for (size_t k = 1; k <= promised; ++k) {
    if (i + k >= utf8.size()) return i;
    if (!IsUtf8Continuation(utf8[i + k])) return i + k;
  }
  return i;
}

}  // namespace internal

size_t CharacterCount(std::string_view text) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++n) NextCodePoint(text, &i);
  return n;
}

size_t ByteOffsetOfCharacter(std::string_view text, size_t chars) {
  size_t i = 0;
  for (size_t n = 0; n < chars && i < text.size(); ++n) NextCodePoint(text, &i);
  return i;
}

std::string ShortenedText(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  size_t cut = max_bytes;
  while (cut > 0 && IsUtf8Continuation(text[cut])) --cut;
  return std::string(text.substr(0, cut)) + "...";
}

}  // namespace strings
