// UTF-8 and the UTF-16 units it comes from and goes to: reading and writing
// code points, checking text, cutting it short between characters. Every
// layer and tool reads and writes UTF-8 by these rules and no others.
//
// Well-formed UTF-8 is what Unicode allows: no overlong form, no surrogate
// code point (U+D800..U+DFFF), nothing past U+10FFFF, no sequence cut short.
//   (U1) DecodeUtf8 and Utf8SequenceLength accept exactly the well-formed
//        sequences; NextCodePoint reads the same code points from them and
//        takes any other byte as the character of that number (as Latin-1
//        would), so that comparisons work on whatever bytes they are given.
//   (U2) PutUtf8 writes the well-formed form of every code point it may be
//        given, which DecodeUtf8 reads back.
//   (U3) ShortenedText never cuts a character in two.
// The functions a row or an export runs per character are inline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace strings {

inline constexpr uint32_t kReplacementCharacter = 0xFFFD;

// The longest a code point is in UTF-8.
inline constexpr size_t kMaxUtf8Bytes = 4;

// Whether `byte` continues a multi-byte sequence (10xxxxxx).
constexpr bool IsUtf8Continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Length of the well-formed sequence that starts at text[i]: 1 for ASCII,
// 2 to 4 for the others, 0 when none starts there. REQUIRES: i < text.size().
inline size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  const size_t remaining = text.size() - i;
  const auto continuation = [&](size_t k) { return (byte(k) & 0xC0) == 0x80; };
  if (lead >= 0xC2 && lead <= 0xDF) {
    return remaining >= 2 && continuation(i + 1) ? 2 : 0;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (remaining < 3 || !continuation(i + 1) || !continuation(i + 2)) return 0;
    const unsigned char second = byte(i + 1);
    if (lead == 0xE0 && second < 0xA0) return 0;   // overlong
    if (lead == 0xED && second >= 0xA0) return 0;  // UTF-16 surrogate
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (remaining < 4 || !continuation(i + 1) || !continuation(i + 2) || !continuation(i + 3)) {
      return 0;
    }
    const unsigned char second = byte(i + 1);
    if (lead == 0xF0 && second < 0x90) return 0;   // overlong
    if (lead == 0xF4 && second >= 0x90) return 0;  // past U+10FFFF
    return 4;
  }
  return 0;
}

// Whether all of `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);

namespace internal {
// The byte DecodeUtf8 names when no well-formed sequence starts at utf8[i].
size_t MalformedUtf8Byte(std::string_view utf8, size_t i);
}  // namespace internal

// Reads the well-formed sequence at utf8[*i] into *cp and moves *i past it.
// False when none starts there; *i is then the offending byte: one that
// should continue the sequence and does not, else the lead byte.
// REQUIRES: *i < utf8.size().
inline bool DecodeUtf8(std::string_view utf8, size_t* i, uint32_t* cp) {
  const size_t at = *i;
  const auto lead = static_cast<unsigned char>(utf8[at]);
  if (lead < 0x80) {
    *cp = lead;
    *i = at + 1;
    return true;
  }
  const size_t length = Utf8SequenceLength(utf8, at);
  if (length == 0) {
    *i = internal::MalformedUtf8Byte(utf8, at);
    return false;
  }
  uint32_t value = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) value = value << 6 | (utf8[at + k] & 0x3F);
  *cp = value;
  *i = at + length;
  return true;
}

// The code point at text[*i], moving *i past it (U1): a byte that starts no
// well-formed sequence counts as itself. REQUIRES: *i < text.size().
inline uint32_t NextCodePoint(std::string_view text, size_t* i) {
  const size_t at = *i;
  uint32_t cp = 0;
  if (DecodeUtf8(text, i, &cp)) return cp;
  *i = at + 1;
  return static_cast<unsigned char>(text[at]);
}

// Writes code point `cp` as UTF-8 at p, at most kMaxUtf8Bytes; returns the
// end. REQUIRES: cp < 0x110000.
inline char* PutUtf8(uint32_t cp, char* p) {
  if (cp < 0x80) {
    *p++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *p++ = static_cast<char>(0xC0 | (cp >> 6));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (cp >> 12));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (cp >> 18));
    *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return p;
}

// Appends code point `cp` as UTF-8. REQUIRES: cp < 0x110000.
inline void AppendUtf8(uint32_t cp, std::string* out) {
  char buf[kMaxUtf8Bytes];
  out->append(buf, static_cast<size_t>(PutUtf8(cp, buf) - buf));
}

// UTF-16: a code point past U+FFFF is a high surrogate (D800..DBFF) and a
// low one (DC00..DFFF).
constexpr bool IsSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
constexpr bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
// The code point of a surrogate pair. REQUIRES: a high and a low surrogate.
constexpr uint32_t CodePointOfSurrogates(uint32_t high, uint32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
// The surrogates of a code point past U+FFFF. REQUIRES: 0x10000 <= cp < 0x110000.
constexpr char16_t HighSurrogateOf(uint32_t cp) {
  return static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
}
constexpr char16_t LowSurrogateOf(uint32_t cp) {
  return static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
}

// The characters of `text` as NextCodePoint reads them.
size_t CharacterCount(std::string_view text);
// The byte offset of the character numbered `chars` from 0 (the end of
// `text` when it has no more).
size_t ByteOffsetOfCharacter(std::string_view text, size_t chars);

// `text` if it has at most `max_bytes` bytes; else its longest start of at
// most `max_bytes` that ends between characters (U3), then "...". Messages
// show long values so.
std::string ShortenedText(std::string_view text, size_t max_bytes);

}  // namespace strings
