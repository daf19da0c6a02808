// The notes texts of the 2010 table: one paragraph each, explaining the day's
// observance. A text that serves several days is one constant here, so those
// days carry it character for character.
//
// Every text is UTF-8 and stored ready to stand between single quotes in SQL:
// apostrophes are the typographic U+2019, except for the one doubled plain
// pair "''" in the Epiphany note, which reaches the database as a single
// apostrophe. No text holds "|", "^", a line break or a tab, or begins or ends
// with a blank.
#pragma once

#include <string_view>

namespace yeardata::notes {

extern const std::string_view kEpiphany;             // 1/6
extern const std::string_view kBaptismOfTheLord;     // 1/10
extern const std::string_view kSouperbowlOfCaring;   // 2/7
extern const std::string_view kTransfiguration;      // 2/14
extern const std::string_view kMardiGras;            // 2/16
extern const std::string_view kAshWednesday;         // 2/17
extern const std::string_view kSundaysInLent;        // 2/21, 2/28, 3/7, 3/14, 3/21
extern const std::string_view kWorldDayOfPrayer;     // 3/5
extern const std::string_view kStPatricksDay;        // 3/17
extern const std::string_view kPalmSunday;           // 3/28
extern const std::string_view kMaundyThursday;       // 4/1
extern const std::string_view kGoodFriday;           // 4/2
extern const std::string_view kGreatVigilOfEaster;   // 4/3
extern const std::string_view kResurrection;         // 4/4
extern const std::string_view kSundaysOfEaster;      // 4/11 to 5/16, six Sundays
extern const std::string_view kNationalDayOfPrayer;  // 5/6
extern const std::string_view kAscension;            // 5/13
extern const std::string_view kPentecost;            // 5/23
extern const std::string_view kTrinitySunday;        // 5/30
extern const std::string_view kAllSaintsDay;         // 11/1
extern const std::string_view kChristTheKing;        // 11/21
extern const std::string_view kAdventHopeCandle;     // 11/28
extern const std::string_view kHangingOfTheGreens;   // 11/29
extern const std::string_view kAdventWreath;         // 11/30
extern const std::string_view kWreathCircle;         // 12/1
extern const std::string_view kWreathCandles;        // 12/2
extern const std::string_view kCandleColours;        // 12/3
extern const std::string_view kCandleMeanings;       // 12/4
extern const std::string_view kAdventPeaceCandle;    // 12/5
extern const std::string_view kAdventJoyCandle;      // 12/12
extern const std::string_view kAdventLoveCandle;     // 12/19
extern const std::string_view kChristmasDay;         // 12/25

}  // namespace yeardata::notes
