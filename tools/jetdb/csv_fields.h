// The fields of one CSV record (RFC 4180), as `jetdb import` reads them: a
// field in quotes may hold commas, line ends and doubled quotes; one
// without may hold no quote at all.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace jetdb {

struct CsvField {
  size_t offset;  // of its unquoted text in the text SplitCsvRecord fills
  size_t size;
  bool quoted;  // "" is the empty text, an empty field without quotes null
};

// Cuts `record` into *fields, their unquoted texts one after another in
// *text (both replaced). False for a malformed field, which is then the
// (fields->size() + 1)-th; *why says what is wrong with it.
bool SplitCsvRecord(std::string_view record, std::string* text, std::vector<CsvField>* fields,
                    std::string* why);

}  // namespace jetdb
