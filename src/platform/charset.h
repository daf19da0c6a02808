// Character sets at the system's edges. The program's own texts are UTF-8;
// the error log is written in the system's 8-bit character set, and the C
// library's locale texts (month names) arrive in the locale's codeset.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 text in the system's 8-bit character set: the ANSI code page on
// Windows (characters it lacks become its default character, "?", never a
// look-alike), UTF-8 unchanged elsewhere.
std::string ToSystemCharset(std::string_view utf8);
// Text in the system's 8-bit character set as UTF-8.
std::string FromSystemCharset(std::string_view text);

// Text in `codeset` (a name as nl_langinfo(CODESET) gives it) converted to
// UTF-8. UTF-8 and ASCII texts and unknown codesets come back unchanged; a
// byte that is invalid in the codeset becomes "?".
std::string LocaleTextToUtf8(std::string_view text, std::string_view codeset);

}  // namespace platform
