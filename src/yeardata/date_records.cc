// The 2010 date-record table, kept as three small tables (colours by runs of
// days, names by slot, notes by slot) and joined into records on loading.
// The tables are checked at compile time: the colour runs cover slots 0..364
// without gap or overlap, and names and notes are listed by ascending slot,
// notes only on named days.
#include "yeardata/date_records.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "yeardata/date_notes.h"

namespace yeardata {
namespace {

// Slot k is the day k days after 1 January 2010.
constexpr std::array<int, 12> kMonthLengths2010 = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

struct ColourRun {
  int first_slot;
  int last_slot;  // included
  std::string_view colour;
};

constexpr ColourRun kColourRuns[] = {
    {0, 5, "White"},       // 1/1-1/6: New Year's Day to Epiphany of the Lord
    {6, 8, "Green"},       // 1/7-1/9
    {9, 9, "White"},       // 1/10: Baptism of the Lord
    {10, 43, "Green"},     // 1/11-2/13
    {44, 44, "White"},     // 2/14: Transfiguration of the Lord
    {45, 46, "Green"},     // 2/15-2/16: President's Day, Mardi Gras
    {47, 90, "Purple"},    // 2/17-4/1: Ash Wednesday to Maundy Thursday
    {91, 92, "Gray"},      // 4/2-4/3: Good Friday, Great Vigil of Easter
    {93, 141, "White"},    // 4/4-5/22: from Resurrection of the Lord
    {142, 142, "Red"},     // 5/23: Day of Pentecost
    {143, 148, "Green"},   // 5/24-5/29
    {149, 149, "White"},   // 5/30: Trinity Sunday
    {150, 323, "Green"},   // 5/31-11/20: from Memorial Day, All Saints Day included
    {324, 324, "White"},   // 11/21: Christ the King Sunday
    {325, 330, "Green"},   // 11/22-11/27
    {331, 357, "Purple"},  // 11/28-12/24: 1st Sunday Of Advent to Christmas Eve
    {358, 364, "White"},   // 12/25-12/31: Christmas Day to New Year's Eve
};

struct NamedDay {
  int slot;
  std::string_view names;  // joined by "^"; plain apostrophes single
};

constexpr NamedDay kNamedDays[] = {
    {0, "New Year's Day"},                                       // 1/1
    {5, "Epiphany of the Lord"},                                 // 1/6
    {9, "Baptism of the Lord"},                                  // 1/10
    {17, "Martin Luther King, Jr. Day"},                         // 1/18
    {32, "Groundhog Day"},                                       // 2/2
    {37, "Souperbowl of Caring"},                                // 2/7
    {42, "Lincoln's Birthday"},                                  // 2/12
    {44, "Transfiguration of the Lord^Valentines Day"},          // 2/14
    {45, "President's Day"},                                     // 2/15
    {46, "Mardi Gras"},                                          // 2/16
    {47, "Ash Wednesday"},                                       // 2/17
    {51, "1st Sunday in Lent"},                                  // 2/21
    {52, "Washington's Birthday"},                               // 2/22
    {58, "2nd Sunday in Lent"},                                  // 2/28
    {63, "World Day of Prayer"},                                 // 3/5
    {65, "3rd Sunday in Lent"},                                  // 3/7
    {72, "4th Sunday in Lent^Daylight Savings Time Begins"},     // 3/14
    {75, "St. Patrick's Day"},                                   // 3/17
    {78, "First Day of Spring"},                                 // 3/20
    {79, "5th Sunday in Lent"},                                  // 3/21
    {86, "Palm Sunday"},                                         // 3/28
    {87, "Passover Begins"},                                     // 3/29
    {90, "Maundy Thursday^April Fool's Day"},                    // 4/1
    {91, "Good Friday"},                                         // 4/2
    {92, "Great Vigil of Easter"},                               // 4/3
    {93, "Resurrection of the Lord^One Great Hour of Sharing"},  // 4/4
    {100, "2nd Sunday Of Easter"},                               // 4/11
    {101, "Holocaust Remembrance Day"},                          // 4/12
    {107, "3rd Sunday Of Easter"},                               // 4/18
    {111, "Earth Day"},                                          // 4/22
    {114, "4th Sunday Of Easter"},                               // 4/25
    {119, "Arbor Day"},                                          // 4/30
    {121, "5th Sunday Of Easter"},                               // 5/2
    {125, "National Day of Prayer"},                             // 5/6
    {128, "6th Sunday Of Easter^Mother's Day"},                  // 5/9
    {132, "Ascension of the Lord"},                              // 5/13
    {134, "Armed Forces Day"},                                   // 5/15
    {135, "7th Sunday Of Easter"},                               // 5/16
    {142, "Day of Pentecost"},                                   // 5/23
    {149, "Trinity Sunday"},                                     // 5/30
    {150, "Memorial Day"},                                       // 5/31
    {164, "Flag Day"},                                           // 6/14
    {170, "Fathers Day"},                                        // 6/20
    {171, "First Day of Summer"},                                // 6/21
    {184, "US Independence Day"},                                // 7/4
    {248, "Labor Day"},                                          // 9/6
    {251, "Rosh Hashanah"},                                      // 9/9
    {260, "Yom Kippur"},                                         // 9/18
    {265, "First Day of Autumn"},                                // 9/23
    {275, "World Communion Sunday"},                             // 10/3
    {283, "Columbus Day"},                                       // 10/11
    {303, "Halloween"},                                          // 10/31
    {304, "All Saints Day"},                                     // 11/1
    {305, "Election Day"},                                       // 11/2
    {310, "Daylight Savings Time Ends"},                         // 11/7
    {314, "Veterans Day"},                                       // 11/11
    {324, "Christ the King Sunday"},                             // 11/21
    {328, "Thanksgiving Day"},                                   // 11/25
    {331, "1st Sunday Of Advent"},                               // 11/28
    {332, "1st Monday Of Advent"},                               // 11/29
    {333, "1st Tuesday Of Advent"},                              // 11/30
    {334, "1st Wednesday Of Advent^World AIDS Day"},             // 12/1
    {335, "1st Thursday Of Advent^Hanukkah"},                    // 12/2
    {336, "1st Friday Of Advent"},                               // 12/3
    {337, "1st Saturday Of Advent"},                             // 12/4
    {338, "2nd Sunday Of Advent"},                               // 12/5
    {340, "Pearl Harbor Day"},                                   // 12/7
    {345, "3rd Sunday Of Advent"},                               // 12/12
    {352, "4th Sunday Of Advent"},                               // 12/19
    {354, "First Day of Winter"},                                // 12/21
    {357, "Christmas Eve"},                                      // 12/24
    {358, "Christmas Day"},                                      // 12/25
    {364, "New Year's Eve"},                                     // 12/31
};

struct DayNote {
  int slot;
  // The notes live in another file; pointing at them (rather than copying
  // the view) keeps this table a compile-time constant.
  const std::string_view* text;
};

constexpr DayNote kDayNotes[] = {
    {5, &notes::kEpiphany},               // 1/6
    {9, &notes::kBaptismOfTheLord},       // 1/10
    {37, &notes::kSouperbowlOfCaring},    // 2/7
    {44, &notes::kTransfiguration},       // 2/14
    {46, &notes::kMardiGras},             // 2/16
    {47, &notes::kAshWednesday},          // 2/17
    {51, &notes::kSundaysInLent},         // 2/21
    {58, &notes::kSundaysInLent},         // 2/28
    {63, &notes::kWorldDayOfPrayer},      // 3/5
    {65, &notes::kSundaysInLent},         // 3/7
    {72, &notes::kSundaysInLent},         // 3/14
    {75, &notes::kStPatricksDay},         // 3/17
    {79, &notes::kSundaysInLent},         // 3/21
    {86, &notes::kPalmSunday},            // 3/28
    {90, &notes::kMaundyThursday},        // 4/1
    {91, &notes::kGoodFriday},            // 4/2
    {92, &notes::kGreatVigilOfEaster},    // 4/3
    {93, &notes::kResurrection},          // 4/4
    {100, &notes::kSundaysOfEaster},      // 4/11
    {107, &notes::kSundaysOfEaster},      // 4/18
    {114, &notes::kSundaysOfEaster},      // 4/25
    {121, &notes::kSundaysOfEaster},      // 5/2
    {125, &notes::kNationalDayOfPrayer},  // 5/6
    {128, &notes::kSundaysOfEaster},      // 5/9
    {132, &notes::kAscension},            // 5/13
    {135, &notes::kSundaysOfEaster},      // 5/16
    {142, &notes::kPentecost},            // 5/23
    {149, &notes::kTrinitySunday},        // 5/30
    {304, &notes::kAllSaintsDay},         // 11/1
    {324, &notes::kChristTheKing},        // 11/21
    {331, &notes::kAdventHopeCandle},     // 11/28
    {332, &notes::kHangingOfTheGreens},   // 11/29
    {333, &notes::kAdventWreath},         // 11/30
    {334, &notes::kWreathCircle},         // 12/1
    {335, &notes::kWreathCandles},        // 12/2
    {336, &notes::kCandleColours},        // 12/3
    {337, &notes::kCandleMeanings},       // 12/4
    {338, &notes::kAdventPeaceCandle},    // 12/5
    {345, &notes::kAdventJoyCandle},      // 12/12
    {352, &notes::kAdventLoveCandle},     // 12/19
    {358, &notes::kChristmasDay},         // 12/25
};

constexpr bool MonthsMakeTheYear() {
  int days = 0;
  for (int length : kMonthLengths2010) days += length;
  return days == kDaysIn2010;
}

constexpr bool ColourRunsCoverTheYear() {
  int next_slot = 0;
  for (const ColourRun& run : kColourRuns) {
    if (run.first_slot != next_slot || run.last_slot < run.first_slot || run.colour.empty()) {
      return false;
    }
    next_slot = run.last_slot + 1;
  }
  return next_slot == kDaysIn2010;
}

constexpr bool NamedDaysAscend() {
  int previous_slot = -1;
  for (const NamedDay& day : kNamedDays) {
    if (day.slot <= previous_slot || day.slot >= kDaysIn2010 || day.names.empty()) return false;
    previous_slot = day.slot;
  }
  return true;
}

constexpr bool IsNamedDay(int slot) {
  for (const NamedDay& day : kNamedDays) {
    if (day.slot == slot) return true;
  }
  return false;
}

constexpr bool NotesAscendOnNamedDays() {
  int previous_slot = -1;
  for (const DayNote& note : kDayNotes) {
    if (note.slot <= previous_slot || !IsNamedDay(note.slot)) return false;
    previous_slot = note.slot;
  }
  return true;
}

static_assert(MonthsMakeTheYear());
static_assert(ColourRunsCoverTheYear());
static_assert(NamedDaysAscend());
static_assert(NotesAscendOnNamedDays());

}  // namespace

void LoadDateRecords(std::vector<std::string>& records) {
  records.assign(kDateRecordSlots, std::string());

  size_t run_index = 0;
  size_t named_index = 0;
  size_t note_index = 0;
  int month = 1;
  int day = 1;
  for (int slot = 0; slot < kDaysIn2010; ++slot) {
    if (slot > kColourRuns[run_index].last_slot) ++run_index;

    std::string_view names;
    if (named_index < std::size(kNamedDays) && kNamedDays[named_index].slot == slot) {
      names = kNamedDays[named_index++].names;
    }
    std::string_view note;
    if (note_index < std::size(kDayNotes) && kDayNotes[note_index].slot == slot) {
      note = *kDayNotes[note_index++].text;
    }

    std::string& record = records[slot];
    record += std::to_string(month);
    record += '/';
    record += std::to_string(day);
    record += "/2010|";
    record += kColourRuns[run_index].colour;
    record += '|';
    record += names;
    record += '|';
    record += note;

    if (++day > kMonthLengths2010[month - 1]) {
      day = 1;
      ++month;
    }
  }
  records[kLastDateRecordSlot] = std::string();  // the empty record of no day
}

}  // namespace yeardata
