// Values as error messages and check reports show them: numbers in plain
// decimal, dates as yyyy-mm-dd[ hh:mm:ss], text quoted and cut short at a
// character boundary.
#pragma once

#include <string>
#include <vector>

#include "jet/types.h"

namespace jet {

// OLE date (days since 1899-12-30) as yyyy-mm-dd[ hh:mm:ss].
std::string DateText(double ole);

// A value in a list of values: 5, 2009-01-01, "Advent" (cut after 60 bytes).
std::string ValueText(const Value& value);

// A value as the subject of a sentence that refuses it: 5, the text
// "Advent" (cut after 40 bytes), the currency amount 12.5, the date/time
// 39814.5, the GUID {...}, binary data of 3 bytes.
std::string DescribedValue(const Value& value);

// "EventId = 5, EventDate = 2009-01-01": the values of the index's columns
// in a row (`values` in TableDef::columns order).
std::string IndexValuesText(const TableDef& table, const IndexDef& index,
                            const std::vector<Value>& values);

}  // namespace jet
