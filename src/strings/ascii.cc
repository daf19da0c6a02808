// Case-blind comparisons; see ascii.h.
#include "strings/ascii.h"

#include "strings/utf8.h"

namespace strings {

bool AsciiEqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiCompareNoCase(a, b) == 0;
}

int AsciiCompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
    const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int Latin1CompareNoCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const uint32_t x = Latin1Lower(NextCodePoint(a, &i));
    const uint32_t y = Latin1Lower(NextCodePoint(b, &j));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  return j < b.size() ? -1 : 0;
}

}  // namespace strings
