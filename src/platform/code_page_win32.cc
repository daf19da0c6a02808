// Code pages through the Windows conversion functions; see code_page.h.
#include <windows.h>

#include <string_view>

#include "platform/code_page.h"
#include "platform/unicode_win32.h"
#include "strings/utf8.h"

namespace platform {

namespace {

// Windows gives the bytes that its ANSI code pages leave undefined (0x81,
// 0x8D, 0x8F, 0x90 and 0x9D in 1252) the C1 control of the same number;
// other systems refuse them. They are undefined here too, alike everywhere.
bool UndefinedInAnsiCodePage(uint16_t code_page, const wchar_t* wide, int length) {
  const bool ansi = code_page == 874 || (code_page >= 1250 && code_page <= 1258);
  return ansi && length == 1 && wide[0] >= 0x80 && wide[0] <= 0x9F;
}

}  // namespace

std::unique_ptr<CodePage> CodePage::Open(uint16_t code_page) {
  if (!IsValidCodePage(code_page)) return nullptr;
  return std::unique_ptr<CodePage>(new CodePage(code_page));
}

CodePage::~CodePage() = default;

size_t CodePage::ToUtf8(const char* bytes, size_t size, std::string* out) {
  // Character by character, so that the first one the code page does not
  // define is found.
  size_t at = 0;
  while (at < size) {
    const size_t length =
        IsDBCSLeadByteEx(code_page_, static_cast<BYTE>(bytes[at])) && at + 1 < size ? 2 : 1;
    wchar_t wide[2];
    const int got = MultiByteToWideChar(code_page_, MB_ERR_INVALID_CHARS, bytes + at,
                                        static_cast<int>(length), wide, 2);
    if (got <= 0 || UndefinedInAnsiCodePage(code_page_, wide, got)) break;
    out->append(Narrow(std::wstring_view(wide, static_cast<size_t>(got))));
    at += length;
  }
  return at;
}

size_t CodePage::FromUtf8(const char* utf8, size_t size, std::string* out) {
  size_t at = 0;
  while (at < size) {
    const size_t length = strings::Utf8SequenceLength(std::string_view(utf8, size), at);
    if (length == 0) break;
    wchar_t wide[2];
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8 + at,
                                          static_cast<int>(length), wide, 2);
    if (units <= 0) break;
    char bytes[8];
    BOOL defaulted = FALSE;
    const int got = WideCharToMultiByte(code_page_, WC_NO_BEST_FIT_CHARS, wide, units, bytes,
                                        sizeof bytes, nullptr, &defaulted);
    if (got <= 0 || defaulted) break;
    out->append(bytes, static_cast<size_t>(got));
    at += length;
  }
  return at;
}

}  // namespace platform
