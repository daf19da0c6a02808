// ASCII characters: digits, and case. Comparing without regard to case
// follows one of two rules, kept apart on purpose:
//   - ASCII: only the letters A-Z and a-z fold, every other byte compares
//     as it is, so a byte of a multi-byte UTF-8 character never folds,
//     whatever the program's locale. Keywords, attribute names, drive
//     letters and folder names compare so.
//   - Latin-1: the ASCII letters and U+00C0..U+00DE (but U+00D7) fold to
//     lower case, character by character of the UTF-8 text (NextCodePoint,
//     utf8.h). The engine compares the names of tables, columns and indexes
//     (jet/names.h) and the text of expressions so.
#pragma once

#include <cstdint>
#include <string_view>

namespace strings {

constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Equal but for the case of ASCII letters.
bool AsciiEqualsNoCase(std::string_view a, std::string_view b);

// Orders byte by byte with ASCII letters folded to lower case; a text that
// is a prefix of the other comes first. <0, 0 or >0.
int AsciiCompareNoCase(std::string_view a, std::string_view b);

// A code point with the ASCII and Latin-1 letters in lower case.
constexpr uint32_t Latin1Lower(uint32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
  return cp;
}

// A code point with the ASCII and Latin-1 letters in upper case (U+00FF
// has no upper case in Latin-1 and stays).
constexpr uint32_t Latin1Upper(uint32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
  return cp;
}

// Orders UTF-8 texts by code point, each put by Latin1Lower; a text
// that is a prefix of the other comes first. <0, 0 or >0.
int Latin1CompareNoCase(std::string_view a, std::string_view b);

}  // namespace strings
