// What the parser, the operators and the functions share about Variants:
// the errors they raise and the conversions between Access's types.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "jet/expression.h"

namespace jet::expr {

// kInvalidArgument carrying Access's number and text.
Status Fail(int number, std::string text);
Status TypeMismatch();      // 13
Status Overflow();          // 6
Status InvalidUseOfNull();  // 94

// Boolean, Byte, Integer, Long.
bool IsWhole(Variant::Type type);

// A numeric Variant's value (Currency divided by 10,000). REQUIRES: IsNumeric.
double NumberOf(const Variant& value);

// Blanks trimmed, then a decimal number ([+|-] digits [. digits] [E [+|-]
// digits]), or &H / &O digits. False for anything else.
bool ParseNumberText(std::string_view text, double* number);

// The value as a number: numbers as they are, a numeric text as a Double;
// other text fails with 13. REQUIRES: not Null.
Status ToNumber(const Variant& value, Variant* number);
Status ToDouble(const Variant& value, double* number);
// As a date: numbers as day counts, text by ParseDateTimeText or as a number.
Status ToDate(const Variant& value, double* ole_date);
// Rounded half to even to a whole number in the range of Long (6 past it).
Status ToLong(const Variant& value, int64_t* number);

// The narrowest of Integer, Long and Double that holds n.
Variant WholeNumber(int64_t n);

}  // namespace jet::expr
