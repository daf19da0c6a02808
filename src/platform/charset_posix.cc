// Character sets at the system's edges, POSIX: see charset.h.
#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/charset.h"

namespace platform {

std::string ToSystemCharset(std::string_view utf8) { return std::string(utf8); }

std::string FromSystemCharset(std::string_view text) { return std::string(text); }

namespace {

bool IsUtf8Compatible(std::string_view codeset) {
  // glibc names plain ASCII "ANSI_X3.4-1968" (the C locale).
  return codeset.empty() || codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8" ||
         codeset == "ANSI_X3.4-1968" || codeset == "ASCII" || codeset == "US-ASCII";
}

}  // namespace

std::string LocaleTextToUtf8(std::string_view text, std::string_view codeset) {
  if (IsUtf8Compatible(codeset)) return std::string(text);
  const std::string from(codeset);
  iconv_t converter = iconv_open("UTF-8", from.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(text);

  std::string input(text);
  std::string output;
  char* in = input.data();
  size_t in_left = input.size();
  char buffer[256];
  while (in_left > 0) {
    char* out = buffer;
    size_t out_left = sizeof buffer;
    const size_t result = iconv(converter, &in, &in_left, &out, &out_left);
    output.append(buffer, static_cast<size_t>(out - buffer));
    if (result != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;  // buffer full: drained above, go on
    // An invalid or truncated sequence: mark it and resume behind its first byte.
    output.push_back('?');
    ++in;
    --in_left;
  }
  {
    // Stateful codesets may still owe a shift back to the initial state.
    char* out = buffer;
    size_t out_left = sizeof buffer;
    iconv(converter, nullptr, nullptr, &out, &out_left);
    output.append(buffer, static_cast<size_t>(out - buffer));
  }
  iconv_close(converter);
  return output;
}

}  // namespace platform
