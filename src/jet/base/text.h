// Text decoding to UTF-8: Jet 4 UCS-2 (plain or in the compressed form that
// starts with FF FE) and Jet 3 single- or double-byte code-page text; and
// the way back for Jet 3 text.
//
// TextDecoder caches one conversion per code page (a 256-entry table for
// single-byte code pages, the system's converter for the East Asian
// double-byte ones). Not thread-safe: each Database owns one.
//
// (D1) Code-page text that EncodeCodePageText wrote decodes with
//      AppendCodePageText to the UTF-8 it was given: a character the code
//      page does not define is refused, never replaced.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "jet/status.h"
#include "platform/code_page.h"

namespace jet {

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

  uint16_t database_code_page() const { return database_code_page_; }

  // Appends code-page text as UTF-8. code_page 0 means the database's, and
  // so does a code page the system cannot convert. kNotSupported when not
  // even the database's code page can be converted.
  Status AppendCodePageText(uint16_t code_page, const uint8_t* data, size_t size, std::string* out);

  // Replaces *out with `utf8` in the code page AppendCodePageText would
  // read it in (the same choice of code page). kInvalidArgument for
  // malformed UTF-8 and for a character the code page cannot hold, naming
  // it: "the character U+0101 (\"ā\") has no byte in code page 1252".
  Status EncodeCodePageText(uint16_t code_page, std::string_view utf8, std::string* out);

 private:
  struct Converter {
    uint16_t code_page = 0;
    bool single_byte = true;
    std::array<std::string, 256> table;        // single-byte: UTF-8 for each byte
    std::map<std::string, uint8_t> bytes;      // single-byte: the byte of each UTF-8 char >= 0x80
    std::unique_ptr<platform::CodePage> page;  // double-byte: the system's conversion
  };
  Result<Converter*> GetConverter(uint16_t code_page);
  // The converter for a column's code page (0: the database's), as reading
  // and writing both choose it.
  Result<Converter*> ConverterFor(uint16_t code_page);

  uint16_t database_code_page_;
  std::map<uint16_t, std::unique_ptr<Converter>> converters_;
};

}  // namespace jet
