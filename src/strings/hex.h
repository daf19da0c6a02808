// Hex digits: bytes written as two digits each, and digits read back.
#pragma once

#include <string>
#include <string_view>

namespace strings {

inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";
inline constexpr char kLowerHexDigits[] = "0123456789abcdef";

// Two digits per byte at p, from `digits` (upper case unless told);
// returns the end. REQUIRES: room for 2 x bytes.size().
inline char* PutHex(char* p, std::string_view bytes, const char* digits = kUpperHexDigits) {
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    *p++ = digits[b >> 4];
    *p++ = digits[b & 0x0F];
  }
  return p;
}

// Upper-case hex of `bytes`, `separator` between bytes: "7F80", "7F 80".
std::string HexText(std::string_view bytes, std::string_view separator = {});

// The value of a hex digit of either case; -1 for any other character.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace strings
