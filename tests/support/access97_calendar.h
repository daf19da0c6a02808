// An Access 97 calendar for tests: a new Jet 3 file with the calendar's
// tables (data/calendar-schema.sql) and every row of a Jet 4 calendar, as a
// calendar converted to Access 97 would hold them: each character code page
// 1252 lacks becomes '?'.
#pragma once

#include <filesystem>
#include <string>

namespace tessaly::testing {

// The text as code page 1252 can hold it: characters it lacks become '?'.
std::string InCodePage1252(std::string_view utf8);

// Makes `target` (which must not exist) from the rows of `jet4_calendar`.
// Returns "" or why it failed.
std::string MakeAccess97Calendar(const std::filesystem::path& jet4_calendar,
                                 const std::filesystem::path& target);

}  // namespace tessaly::testing
