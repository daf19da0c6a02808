// Reading JSON text; see json_reader.h.
#include "tools/jetdb/json_reader.h"

#include <cstdint>

#include <fmt/format.h>

#include "strings/ascii.h"
#include "strings/hex.h"
#include "strings/utf8.h"

namespace jetdb {
namespace {

// Reads four hex digits at text[pos].
bool ReadHex4(std::string_view text, size_t pos, uint32_t* value) {
  if (pos + 4 > text.size()) return false;
  uint32_t result = 0;
  for (size_t i = pos; i < pos + 4; ++i) {
    const int digit = strings::HexDigitValue(text[i]);
    if (digit < 0) return false;
    result = result << 4 | static_cast<uint32_t>(digit);
  }
  *value = result;
  return true;
}

}  // namespace

void SkipJsonSpace(std::string_view text, size_t* pos) {
  while (*pos < text.size() &&
         (text[*pos] == ' ' || text[*pos] == '\t' || text[*pos] == '\r' || text[*pos] == '\n')) {
    ++*pos;
  }
}

bool ReadJsonString(std::string_view text, size_t* pos, std::string* out, std::string* why) {
  size_t i = *pos + 1;
  size_t run_start = i;
  const auto flush_run = [&] { out->append(text.data() + run_start, i - run_start); };
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"') {
      flush_run();
      *pos = i + 1;
      return true;
    }
    if (c < 0x20) {
      *why = fmt::format("control character 0x{:02x} in a string (it must be escaped)", c);
      return false;
    }
    if (c >= 0x80) {
      const size_t length = strings::Utf8SequenceLength(text, i);
      if (length == 0) {
        *why = "a string that is not valid UTF-8";
        return false;
      }
      i += length;
      continue;
    }
    if (c != '\\') {
      ++i;
      continue;
    }
    flush_run();
    if (i + 1 >= text.size()) break;
    const char escape = text[i + 1];
    i += 2;
    switch (escape) {
      case '"': out->push_back('"'); break;
      case '\\': out->push_back('\\'); break;
      case '/': out->push_back('/'); break;
      case 'b': out->push_back('\b'); break;
      case 'f': out->push_back('\f'); break;
      case 'n': out->push_back('\n'); break;
      case 'r': out->push_back('\r'); break;
      case 't': out->push_back('\t'); break;
      case 'u': {
        uint32_t unit = 0;
        if (!ReadHex4(text, i, &unit)) {
          *why = "\\u not followed by four hex digits";
          return false;
        }
        i += 4;
        if (strings::IsHighSurrogate(unit)) {
          uint32_t low = 0;
          if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u' ||
              !ReadHex4(text, i + 2, &low) || !strings::IsLowSurrogate(low)) {
            *why = fmt::format("\\u{:04x} is half a surrogate pair", unit);
            return false;
          }
          i += 6;
          unit = strings::CodePointOfSurrogates(unit, low);
        } else if (strings::IsLowSurrogate(unit)) {
          *why = fmt::format("\\u{:04x} is half a surrogate pair", unit);
          return false;
        }
        strings::AppendUtf8(unit, out);
        break;
      }
      default: *why = fmt::format("unknown escape \\{}", escape); return false;
    }
    run_start = i;
  }
  *why = "a string without its closing quote";
  return false;
}

bool ReadJsonNumber(std::string_view text, size_t* pos, std::string_view* number) {
  size_t i = *pos;
  const auto digits = [&] {
    const size_t start = i;
    while (i < text.size() && strings::IsAsciiDigit(text[i])) ++i;
    return i - start;
  };
  if (i < text.size() && text[i] == '-') ++i;
  const size_t int_start = i;
  const size_t int_digits = digits();
  if (int_digits == 0 || (int_digits > 1 && text[int_start] == '0')) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (digits() == 0) return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  *number = text.substr(*pos, i - *pos);
  *pos = i;
  return true;
}

}  // namespace jetdb
