// Text decoding to UTF-8: Jet 4 UCS-2 (plain or in the compressed form that
// starts with FF FE) and Jet 3 single- or double-byte code-page text.
//
// TextDecoder caches one conversion per code page (a 256-entry table for
// single-byte code pages, the system's converter for the East Asian
// double-byte ones). Not thread-safe: each Database owns one.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "jet/status.h"
#include "platform/code_page.h"

namespace jet {

// Appends code point `cp` as UTF-8.
void AppendUtf8(uint32_t cp, std::string* out);

// Appends UCS-2LE text (surrogate pairs joined, a lone surrogate becomes
// U+FFFD). An odd trailing byte is ignored.
void AppendUcs2AsUtf8(const uint8_t* data, size_t size, std::string* out);

// Appends a Jet 4 text value. A value starting with FF FE is compressed: one
// byte per char with a zero high byte, each 00 byte (at a char boundary)
// switching between that mode and plain UCS-2LE pairs.
void AppendJet4Text(const uint8_t* data, size_t size, std::string* out);

// The same conversions written at `p`, for callers that manage their own
// room: each returns the end of what it wrote. REQUIRES: room for the
// matching Max*Bytes at p.
inline size_t MaxUcs2Utf8Bytes(size_t size) {
  // A 2-byte unit gives at most 3 UTF-8 bytes (a surrogate pair 4 for 4).
  return size / 2 * 3;
}
char* PutUcs2AsUtf8(const uint8_t* data, size_t size, char* p);
inline size_t MaxJet4TextUtf8Bytes(const uint8_t* data, size_t size) {
  // Compressed: a byte gives at most two (U+0080..U+00FF); a plain pair
  // among them at most three, a surrogate pair four for four.
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) return 2 * size;
  return MaxUcs2Utf8Bytes(size);
}
char* PutJet4Text(const uint8_t* data, size_t size, char* p);

class TextDecoder {
 public:
  explicit TextDecoder(uint16_t database_code_page) : database_code_page_(database_code_page) {}
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  // Appends code-page text as UTF-8. code_page 0 means the database's, and
  // so does a code page the system cannot convert. kNotSupported when not
  // even the database's code page can be converted.
  Status AppendCodePageText(uint16_t code_page, const uint8_t* data, size_t size,
                            std::string* out);

 private:
  struct Converter {
    bool single_byte = true;
    std::array<std::string, 256> table;     // single-byte: UTF-8 for each byte
    std::unique_ptr<platform::CodePage> page;  // double-byte: the system's conversion
  };
  Result<Converter*> GetConverter(uint16_t code_page);

  uint16_t database_code_page_;
  std::map<uint16_t, std::unique_ptr<Converter>> converters_;
};

}  // namespace jet
