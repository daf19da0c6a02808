// Decimal text; see decimal.h.
#include "strings/decimal.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "strings/ascii.h"

namespace strings {

bool IsDecimalText(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == text.size();
}

Scaled ParseScaled(std::string_view text, int scale, int64_t* out) {
  if (!IsDecimalText(text)) return Scaled::kNotANumber;
  if (text.find_first_of("eE") != std::string_view::npos) {
    const double v = std::strtod(std::string(text).c_str(), nullptr) * std::pow(10.0, scale);
    if (!std::isfinite(v) || std::fabs(v) >= 9.2e18) return Scaled::kOverflow;
    *out = static_cast<int64_t>(std::nearbyint(v));
    return Scaled::kOk;
  }
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const size_t point = text.find('.');
  std::string digits(text.substr(0, point));
  std::string fraction = point == std::string_view::npos ? "" : std::string(text.substr(point + 1));
  for (int i = 0; i < scale; ++i) {
    digits.push_back(fraction.empty() ? '0' : fraction.front());
    if (!fraction.empty()) fraction.erase(0, 1);
  }
  unsigned __int128 value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > (static_cast<unsigned __int128>(1) << 64)) return Scaled::kOverflow;
  }
  // The dropped digits round: above half up, exactly half to even.
  if (!fraction.empty()) {
    const bool more = fraction.find_first_not_of('0', 1) != std::string::npos;
    if (fraction[0] > '5' || (fraction[0] == '5' && (more || (value & 1) != 0))) ++value;
  }
  const unsigned __int128 limit =
      static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
  if (value > limit) return Scaled::kOverflow;
  *out =
      negative ? static_cast<int64_t>(-static_cast<__int128>(value)) : static_cast<int64_t>(value);
  return Scaled::kOk;
}

}  // namespace strings
