// The value a field hands to the program: Null, a whole number, a double,
// text, a date or a Yes/No value, with the conversions the calendar code
// applies to field values.
//
// Invariants:
//   (V1) A Variant owns its text; it never points into a row buffer.
//   (V2) The text forms are those of the en-US locale the calendar was made
//        for: dates month first ("1/6/2010"), times on the 12-hour clock
//        ("10:00:00 AM"), numbers in plain decimal without grouping.
//   (V3) Every failed conversion throws errors::RuntimeError with the
//        runtime's number (94 for Null, 6 for a value out of range, 13 for a
//        text that is no number), so that procedure handlers report it as is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "jet/database.h"

namespace ado {

class Variant {
 public:
  enum class Type : uint8_t { kNull, kInteger, kDouble, kText, kDate, kBoolean };

  Variant() = default;  // Null

  static Variant Null() { return Variant(); }
  static Variant Integer(int64_t value);
  static Variant Double(double value);
  static Variant Text(std::string value);
  // `ole_date`: days since 30 December 1899, the time of day as the fraction.
  static Variant Date(double ole_date);
  static Variant Boolean(bool value);

  // A stored value as the program sees it: Byte, Integer and Long as whole
  // numbers; Currency, Single, Double and Decimal as doubles (a Single keeps
  // its 7 significant digits); dates; Text and Memo as text; a GUID as its
  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" text; Binary and OLE bytes as
  // text of those bytes.
  static Variant FromJet(const jet::Value& value);

  Type type() const { return type_; }
  bool IsNull() const { return type_ == Type::kNull; }

  // REQUIRES: the matching type (kDate for date()).
  int64_t integer() const { return integer_; }
  double real() const { return real_; }
  double date() const { return real_; }
  bool boolean() const { return integer_ != 0; }
  const std::string& text() const { return text_; }

  // The value joined to the empty text: Null gives "", a Yes/No value
  // "True" or "False", a date "1/6/2010", "12:00:00 AM" or
  // "1/1/2010 10:00:00 AM", a number its plain decimal text (12, 0.5).
  std::string JoinedText() const;

  // The strict conversion to text: as JoinedText, but Null is an error
  // (94 "Invalid use of Null").
  std::string StrictText() const;

  // The value as a 32-bit signed integer: doubles and dates rounded half to
  // even, True -1, False 0, text read as a number. Null: 94 "Invalid use of
  // Null"; outside -2,147,483,648 .. 2,147,483,647: 6 "Overflow"; text that
  // is no number: 13 "Type mismatch".
  int32_t ToInt32() const;

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  Type type_ = Type::kNull;
  int64_t integer_ = 0;  // kInteger, kBoolean (1 or 0)
  double real_ = 0;      // kDouble, kDate
  std::string text_;     // kText
};

// "1/6/2010", "10:00:00 AM" or "1/6/2010 10:00:00 AM" for an OLE date: the
// date alone when the time is midnight, the time alone when the day is
// 30 December 1899 (day 0).
std::string DateText(double ole_date);

// A double in plain decimal with up to 15 significant digits: 12, 0.5,
// -3.25; very large or small magnitudes in exponent form (1E+15).
std::string NumberText(double value);

}  // namespace ado
