// How the engine compares the names of tables, columns and indexes: without
// regard to case, ASCII and the Latin-1 letters U+00C0..U+00DE (but U+00D7)
// folding to lower case, character by character of the UTF-8 text, as the
// catalog of an Access file is searched (strings::Latin1CompareNoCase).
// Keywords, words and text values compare by the ASCII rule instead
// (strings/ascii.h).
#pragma once

#include <string_view>

namespace jet {

// Case-insensitive comparison of UTF-8 names (tables, columns, indexes):
// ASCII and Latin-1 letters fold.
bool NamesEqual(std::string_view a, std::string_view b);

}  // namespace jet
