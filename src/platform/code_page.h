// Text in a Windows code page (1252, 932, ...) to and from UTF-8, with the
// system's own conversion tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class CodePage {
 public:
  // nullptr when this system cannot convert `code_page`.
  static std::unique_ptr<CodePage> Open(uint16_t code_page);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  // Appends the UTF-8 of as much of `bytes` as converts, and returns how
  // many bytes that was: fewer than `size` when the byte there begins a
  // sequence the code page does not define, or one cut short. The caller
  // decides what stands for it and goes on behind it.
  size_t ToUtf8(const char* bytes, size_t size, std::string* out);
  // The same the other way: returns how many bytes of `utf8` were
  // converted; fewer than `size` when the character there has no encoding
  // in the code page (or the UTF-8 is invalid).
  size_t FromUtf8(const char* utf8, size_t size, std::string* out);

 private:
  explicit CodePage(uint16_t code_page) : code_page_(code_page) {}
  uint16_t code_page_;
  void* to_utf8_ = nullptr;  // the system's conversion state, when open
  void* from_utf8_ = nullptr;
};

}  // namespace platform
