// The text form of Date/Time values that `jetdb export` writes
// (AppendOleDate, format.h), read back.
#pragma once

#include <string_view>

namespace jetdb {

// OLE date of "YYYY-MM-DDTHH:MM:SS", a blank also standing for the T, or of
// the date alone (see AppendOleDate for negative days). False when the text
// is not such a date or names no real day or time.
bool ParseOleDate(std::string_view text, double* ole_date);

}  // namespace jetdb
