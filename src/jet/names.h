// How names and words compare without regard to case. Two rules, kept apart
// on purpose:
//   - NamesEqual, the engine's rule for the names of tables, columns and
//     indexes: ASCII letters and the Latin-1 letters U+00C0..U+00DE (but
//     U+00D7) fold to lower case, character by character of the UTF-8 text,
//     as the catalog of an Access file is searched.
//   - AsciiEqualsNoCase / AsciiCompareNoCase: only the ASCII letters fold,
//     every other byte compares as it is. The SQL layer reads its keywords,
//     qualifiers and Yes/No words, and compares text values, this way; the
//     connection layer its connection-string attributes and field names. A
//     byte of a multi-byte UTF-8 character never folds, whatever the
//     program's locale.
#pragma once

#include <string_view>

namespace jet {

// Case-insensitive comparison of UTF-8 names (tables, columns, indexes):
// ASCII and Latin-1 letters fold.
bool NamesEqual(std::string_view a, std::string_view b);

// Equal but for the case of ASCII letters.
bool AsciiEqualsNoCase(std::string_view a, std::string_view b);

// Orders byte by byte with ASCII letters folded to lower case; a text that
// is a prefix of the other comes first. <0, 0 or >0.
int AsciiCompareNoCase(std::string_view a, std::string_view b);

}  // namespace jet
