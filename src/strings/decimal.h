// Decimal numbers written as text, read as Access reads them from a
// literal, a text value or a default: blanks are the caller's to trim.
#pragma once

#include <cstdint>
#include <string_view>

namespace strings {

// [+|-] digits [. digits] [E [+|-] digits], or . digits.
bool IsDecimalText(std::string_view text);

enum class Scaled { kOk, kNotANumber, kOverflow };

// The decimal text times 10^scale, rounded half to even to a whole number:
// exactly for plain decimals, through a double when there is an exponent.
// kNotANumber when not IsDecimalText, kOverflow past the range of int64_t.
Scaled ParseScaled(std::string_view text, int scale, int64_t* out);

}  // namespace strings
