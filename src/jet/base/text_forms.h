// Text forms the engine writes alike wherever it writes them: bytes in hex
// and long texts cut short for a message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace jet {

inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

// Two upper-case digits per byte at p; returns the end.
// REQUIRES: room for 2 x bytes.size().
inline char* PutHex(char* p, std::string_view bytes) {
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    *p++ = kUpperHexDigits[b >> 4];
    *p++ = kUpperHexDigits[b & 0x0F];
  }
  return p;
}

// Upper-case hex of `bytes`, `separator` between bytes: "7F80", "7F 80".
std::string HexText(std::string_view bytes, std::string_view separator = {});

// The value of a hex digit of either case; -1 for any other character.
int HexDigitValue(char c);

// `text` if it has at most `max_bytes` bytes; else its longest start of at
// most `max_bytes` that ends at a character boundary of the UTF-8, then
// "...". Messages show long values so.
std::string ShortenedText(std::string_view text, size_t max_bytes);

}  // namespace jet
