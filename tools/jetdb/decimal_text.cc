// Reading exact decimals; see decimal_text.h.
#include "tools/jetdb/decimal_text.h"

#include <cstddef>

#include "strings/ascii.h"

namespace jetdb {

DecimalResult ParseExactDecimal(std::string_view text, unsigned scale, UInt128 max_magnitude,
                                bool* negative, UInt128* magnitude) {
  size_t i = 0;
  *negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    *negative = text[i] == '-';
    ++i;
  }
  UInt128 value = 0;
  bool any_digit = false;
  bool too_large = false;
  const auto add_digit = [&](char c) {
    const UInt128 digit = static_cast<UInt128>(c - '0');
    if (value > (max_magnitude - digit) / 10) too_large = true;
    else value = value * 10 + digit;
  };
  for (; i < text.size() && strings::IsAsciiDigit(text[i]); ++i) {
    any_digit = true;
    add_digit(text[i]);
  }
  unsigned fraction_digits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (; i < text.size() && strings::IsAsciiDigit(text[i]); ++i) {
      any_digit = true;
      if (fraction_digits < scale) {
        add_digit(text[i]);
        ++fraction_digits;
      } else if (text[i] != '0') {
        return DecimalResult::kTooPrecise;
      }
    }
  }
  if (!any_digit || i != text.size()) return DecimalResult::kSyntax;
  for (; fraction_digits < scale; ++fraction_digits) add_digit('0');
  if (too_large) return DecimalResult::kTooLarge;
  *magnitude = value;
  return DecimalResult::kOk;
}

}  // namespace jetdb
