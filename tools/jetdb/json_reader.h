// The pieces of JSON text that `jetdb import` reads: blanks, strings and
// numbers. A number is kept as the exact text written, so that -0, Currency
// digits and floats can be read back exactly rather than through a double.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace jetdb {

// Moves *pos past blanks, tabs and line ends.
void SkipJsonSpace(std::string_view text, size_t* pos);

// Unescapes the JSON string that starts at text[*pos] (its opening quote)
// into *out and moves *pos past the closing quote. The string must be
// well-formed UTF-8, \u escapes included (a surrogate only in a pair). On
// failure *why says what was wrong.
bool ReadJsonString(std::string_view text, size_t* pos, std::string* out, std::string* why);

// The JSON number at text[*pos], -?(0|[1-9]d*)(.d+)?([eE][+-]?d+)?, as
// written; moves *pos past it. False when no such number starts there.
bool ReadJsonNumber(std::string_view text, size_t* pos, std::string_view* number);

}  // namespace jetdb
