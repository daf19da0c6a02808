// Name comparisons; see names.h.
#include "jet/names.h"

#include <cstddef>
#include <cstdint>

namespace jet {
namespace {

// Decodes one UTF-8 code point at *i (invalid bytes pass through singly).
uint32_t NextCodePoint(std::string_view s, size_t* i) {
  auto b = static_cast<uint8_t>(s[*i]);
  size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  if (extra != 0 && *i + extra >= s.size()) extra = 0;
  uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
  for (size_t k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<uint8_t>(s[*i + k]) & 0x3F);
  *i += extra + 1;
  return cp;
}

uint32_t FoldLatin1(uint32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
  return cp;
}

unsigned char FoldAscii(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (FoldLatin1(NextCodePoint(a, &i)) != FoldLatin1(NextCodePoint(b, &j))) return false;
  }
  return i == a.size() && j == b.size();
}

bool AsciiEqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiCompareNoCase(a, b) == 0;
}

int AsciiCompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = FoldAscii(a[i]), y = FoldAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace jet
