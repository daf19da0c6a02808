// Exact decimal text, as `jetdb import` reads Currency and Numeric values:
// "[-|+]digits[.digits]", never through a double.
#pragma once

#include <string_view>

namespace jetdb {

using UInt128 = unsigned __int128;

enum class DecimalResult { kOk, kSyntax, kTooPrecise, kTooLarge };

// The text's magnitude scaled by 10^scale, and its sign. More than `scale`
// fractional digits are allowed only when the extra ones are zeros
// (kTooPrecise otherwise); a magnitude past `max_magnitude` is kTooLarge;
// anything but the form above (no digit at all, say) is kSyntax.
DecimalResult ParseExactDecimal(std::string_view text, unsigned scale, UInt128 max_magnitude,
                                bool* negative, UInt128* magnitude);

}  // namespace jetdb
