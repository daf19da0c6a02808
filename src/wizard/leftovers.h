// What a killed run of `tessaly-update-cli --new-calendar FILE` leaves beside
// FILE: the temporary calendar FILE.new-NNNN and its log. Nothing else ever
// uses those names, so the next run on FILE, of either form or the window,
// removes them first; a temporary calendar that a program still holds open
// for writing (another --new-calendar making it) is left alone.
#pragma once

#include <string>

namespace wizard {

void ClearNewCalendarLeftovers(const std::string& file);

}  // namespace wizard
