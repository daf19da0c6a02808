// Delimited-field functions: take a date record ("date|colour|names|notes")
// or a names field ("name^name") apart, one field or one run of fields at a
// time. Fields are numbered from 1. Neither function keeps any state; every
// call scans the source from its beginning.
//
// Texts are UTF-8. The functions search bytes, not characters, and still find
// exactly the fields a character search finds: UTF-8 is self-synchronising, so
// the bytes of a valid delimiter can only match in the source where whole
// characters match, never from the middle of a multi-byte character.
//
// Errors: no input text makes either function fail. The only failures are the
// 16-bit overflows of the runtime we match, raised as
// std::overflow_error("Overflow"); the error library maps std::overflow_error
// to runtime error 6 "Overflow" in one place, so callers catch it at their
// usual error boundary and report it like any other runtime error.
//
// Choices where the record format leaves freedom:
//   - An empty delimiter never matches: field 1 (and any index below 1) is the
//     whole source, every later field is empty. No caller passes one.
//   - GetDelimitedFields joins every field from first to last, also past the
//     source's last field, so each missing field adds the delimiter and an
//     empty field ("a|b", 1 to 4 gives "a|b||").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace yeardata {

// The index-th field of source, or the empty text when source has no such
// field. An index of 0 or below behaves like 1. Adjacent delimiters enclose an
// empty field; a delimiter at the end is followed by one. Occurrences of a
// delimiter of several characters are consumed whole, left to right, and
// never overlap.
// Throws std::overflow_error for index -32768 (index - 1 leaves 16 bits).
std::string GetDelimitedField(std::string_view source, std::string_view delimiter, int16_t index);

// Fields first through last of source, joined again by delimiter. A last of 0
// stands for first, so (first, 0) returns what GetDelimitedField returns for
// first. When last is less than first the result is empty.
// Throws std::overflow_error when the 16-bit field counter would step past
// 32767 (any run whose last is 32767, counted after its final field, as the
// runtime's For loop does), or when a field index is -32768.
std::string GetDelimitedFields(std::string_view source, std::string_view delimiter, int16_t first,
                               int16_t last);

}  // namespace yeardata
