// Code pages through iconv; see code_page.h.
#include <iconv.h>

#include <cerrno>

#include "platform/code_page.h"

namespace platform {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

std::string IconvName(uint16_t code_page) { return "CP" + std::to_string(code_page); }

// Converts until the input ends or a sequence does not convert; returns the
// bytes consumed.
size_t Convert(iconv_t converter, const char* in, size_t size, std::string* out) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* in_ptr = const_cast<char*>(in);
  size_t in_left = size;
  char buffer[256];
  while (in_left > 0) {
    char* out_ptr = buffer;
    size_t out_left = sizeof buffer;
    const size_t rc = iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left);
    out->append(buffer, sizeof buffer - out_left);
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) break;
  }
  // A stateful code page may owe a shift back to its initial state.
  char* out_ptr = buffer;
  size_t out_left = sizeof buffer;
  iconv(converter, nullptr, nullptr, &out_ptr, &out_left);
  out->append(buffer, sizeof buffer - out_left);
  return size - in_left;
}

}  // namespace

std::unique_ptr<CodePage> CodePage::Open(uint16_t code_page) {
  iconv_t probe = iconv_open("UTF-8", IconvName(code_page).c_str());
  if (probe == kNoConverter) return nullptr;
  std::unique_ptr<CodePage> page(new CodePage(code_page));
  page->to_utf8_ = probe;
  return page;
}

CodePage::~CodePage() {
  if (to_utf8_ != nullptr) iconv_close(static_cast<iconv_t>(to_utf8_));
  if (from_utf8_ != nullptr) iconv_close(static_cast<iconv_t>(from_utf8_));
}

size_t CodePage::ToUtf8(const char* bytes, size_t size, std::string* out) {
  return Convert(static_cast<iconv_t>(to_utf8_), bytes, size, out);
}

size_t CodePage::FromUtf8(const char* utf8, size_t size, std::string* out) {
  if (from_utf8_ == nullptr) {
    iconv_t converter = iconv_open(IconvName(code_page_).c_str(), "UTF-8");
    if (converter == kNoConverter) return 0;
    from_utf8_ = converter;
  }
  return Convert(static_cast<iconv_t>(from_utf8_), utf8, size, out);
}

}  // namespace platform
