// Values as error messages and check reports show them: numbers in plain
// decimal, dates as yyyy-mm-dd[ hh:mm:ss], text quoted and cut at 60
// characters.
#pragma once

#include <string>
#include <vector>

#include "jet/types.h"

namespace jet {

// OLE date (days since 1899-12-30) as yyyy-mm-dd[ hh:mm:ss].
std::string DateText(double ole);

std::string ValueText(const Value& value);

// "EventId = 5, EventDate = 2009-01-01": the values of the index's columns
// in a row (`values` in TableDef::columns order).
std::string IndexValuesText(const TableDef& table, const IndexDef& index,
                            const std::vector<Value>& values);

}  // namespace jet
