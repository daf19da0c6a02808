// Tests for the 2010 date-record table. The expected colours and notes are
// written out here a second time, independently of the tables the library
// builds its records from; names are checked on sample days and by what they
// say (a weekday in a name is the day's weekday); dates are computed with the
// standard calendar rather than the library's own month table.
#include "yeardata/date_records.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "yeardata/delimited_fields.h"

namespace yeardata {
namespace {

std::vector<std::string> LoadedRecords() {
  std::vector<std::string> records;
  LoadDateRecords(records);
  return records;
}

std::string Field(std::string_view record, int16_t index) {
  return GetDelimitedFields(record, "|", index, 0);
}

// "M/D/2010" for the day slot days after 1 January 2010.
std::string DateOfSlot(int slot) {
  using namespace std::chrono;
  const year_month_day date{sys_days{year{2010} / January / 1} + days{slot}};
  return std::to_string(static_cast<unsigned>(date.month())) + "/" +
         std::to_string(static_cast<unsigned>(date.day())) + "/" +
         std::to_string(static_cast<int>(date.year()));
}

// Number of characters (code points) in a UTF-8 text; -1 if it is not
// well-formed UTF-8.
int CountCharacters(std::string_view text) {
  int count = 0;
  for (size_t at = 0; at < text.size(); ++count) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80           ? 1
                    : (lead >> 5) == 0x6  ? 2
                    : (lead >> 4) == 0xE  ? 3
                    : (lead >> 3) == 0x1E ? 4
                                          : 0;
    if (length == 0 || at + length > text.size()) return -1;
    for (size_t follow = 1; follow < length; ++follow) {
      if ((static_cast<unsigned char>(text[at + follow]) & 0xC0) != 0x80) return -1;
    }
    at += length;
  }
  return count;
}

int CountOf(std::string_view text, std::string_view what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string_view::npos;
       at = text.find(what, at + what.size())) {
    ++count;
  }
  return count;
}

constexpr std::string_view kTypographicApostrophe = "\u2019";
constexpr std::string_view kEnDash = "\u2013";

// --- Array shape -----------------------------------------------------------

TEST(LoadDateRecordsTest, Has366SlotsWithEmptyLastSlot) {
  const std::vector<std::string> records = LoadedRecords();
  ASSERT_EQ(records.size(), 366u);
  EXPECT_EQ(kDateRecordSlots, 366);
  EXPECT_EQ(kLastDateRecordSlot, 365);
  EXPECT_EQ(records[365], "");
}

TEST(LoadDateRecordsTest, DiscardsPreviousContents) {
  const std::vector<std::string> expected = LoadedRecords();
  std::vector<std::string> shorter = {"stale", "1/1/2010|Red||", ""};
  LoadDateRecords(shorter);
  EXPECT_EQ(shorter, expected);
  std::vector<std::string> longer(500, "9/9/1999|Green|x|y");
  LoadDateRecords(longer);
  EXPECT_EQ(longer, expected);
  LoadDateRecords(longer);  // a second call gives the same records again
  EXPECT_EQ(longer, expected);
}

TEST(LoadDateRecordsTest, RecordsBeginWithTheirDate) {
  const std::vector<std::string> records = LoadedRecords();
  const std::pair<int, std::string_view> starts[] = {
      {0, "1/1/2010|"},     {31, "2/1/2010|"},
      {58, "2/28/2010|"},   {59, "3/1/2010|"},  // 2010 has no 29 February
      {364, "12/31/2010|"},
  };
  for (const auto& [slot, start] : starts) {
    EXPECT_TRUE(records[slot].starts_with(start)) << slot << ": " << records[slot];
  }
}

TEST(LoadDateRecordsTest, EveryDayHasFourFieldsAndTheDateOfItsSlot) {
  const std::vector<std::string> records = LoadedRecords();
  for (int slot = 0; slot < 365; ++slot) {
    const std::string& record = records[slot];
    SCOPED_TRACE(record);
    EXPECT_EQ(CountOf(record, "|"), 3);
    EXPECT_EQ(Field(record, 1), DateOfSlot(slot));
    EXPECT_FALSE(Field(record, 2).empty());
    EXPECT_EQ(Field(record, 5), "");
  }
}

TEST(LoadDateRecordsTest, EmptySlotReadsAsFourEmptyFields) {
  const std::vector<std::string> records = LoadedRecords();
  for (int16_t field = 1; field <= 4; ++field) EXPECT_EQ(Field(records[365], field), "");
}

TEST(LoadDateRecordsTest, PlainDayEndsInTwoBars) {
  const std::vector<std::string> records = LoadedRecords();
  EXPECT_EQ(records[1], "1/2/2010|White||");
  EXPECT_EQ(records[0], "1/1/2010|White|New Year's Day|");
}

// --- Colours ---------------------------------------------------------------

struct ColourRun {
  std::string_view from;  // dates in 2010, both included
  std::string_view to;
  int days;
  std::string_view colour;
};

constexpr ColourRun kExpectedRuns[] = {
    {"1/1/2010", "1/6/2010", 6, "White"},      {"1/7/2010", "1/9/2010", 3, "Green"},
    {"1/10/2010", "1/10/2010", 1, "White"},    {"1/11/2010", "2/13/2010", 34, "Green"},
    {"2/14/2010", "2/14/2010", 1, "White"},    {"2/15/2010", "2/16/2010", 2, "Green"},
    {"2/17/2010", "4/1/2010", 44, "Purple"},   {"4/2/2010", "4/3/2010", 2, "Gray"},
    {"4/4/2010", "5/22/2010", 49, "White"},    {"5/23/2010", "5/23/2010", 1, "Red"},
    {"5/24/2010", "5/29/2010", 6, "Green"},    {"5/30/2010", "5/30/2010", 1, "White"},
    {"5/31/2010", "11/20/2010", 174, "Green"}, {"11/21/2010", "11/21/2010", 1, "White"},
    {"11/22/2010", "11/27/2010", 6, "Green"},  {"11/28/2010", "12/24/2010", 27, "Purple"},
    {"12/25/2010", "12/31/2010", 7, "White"},
};

TEST(DateRecordColoursTest, FollowTheRuns) {
  const std::vector<std::string> records = LoadedRecords();
  int slot = 0;
  for (const ColourRun& run : kExpectedRuns) {
    EXPECT_EQ(Field(records[slot], 1), run.from);
    for (int day = 0; day < run.days; ++day, ++slot) {
      ASSERT_LT(slot, 365);
      EXPECT_EQ(Field(records[slot], 2), run.colour) << records[slot];
    }
    EXPECT_EQ(Field(records[slot - 1], 1), run.to);
  }
  EXPECT_EQ(slot, 365);
}

TEST(DateRecordColoursTest, Totals) {
  const std::vector<std::string> records = LoadedRecords();
  std::map<std::string, int> days_by_colour;
  for (int slot = 0; slot < 365; ++slot) ++days_by_colour[Field(records[slot], 2)];
  const std::map<std::string, int> expected = {
      {"White", 66}, {"Green", 225}, {"Purple", 71}, {"Gray", 2}, {"Red", 1}};
  EXPECT_EQ(days_by_colour, expected);
}

TEST(DateRecordColoursTest, SingleDays) {
  const std::vector<std::string> records = LoadedRecords();
  EXPECT_EQ(Field(records[142], 1), "5/23/2010");
  EXPECT_EQ(Field(records[142], 2), "Red");
  EXPECT_EQ(Field(records[91], 2), "Gray");
  EXPECT_EQ(Field(records[92], 2), "Gray");
  EXPECT_EQ(Field(records[304], 1), "11/1/2010");
  EXPECT_EQ(Field(records[304], 2), "Green");  // All Saints Day lies in a Green run
}

// --- Names -----------------------------------------------------------------

TEST(DateRecordNamesTest, FixedAndMovableDaysCarryTheirNames) {
  const std::vector<std::string> records = LoadedRecords();
  const struct {
    int slot;
    const char* date;
    const char* names;
  } cases[] = {
      {0, "1/1/2010", "New Year's Day"},
      {1, "1/2/2010", ""},
      {44, "2/14/2010", "Transfiguration of the Lord^Valentines Day"},
      {47, "2/17/2010", "Ash Wednesday"},
      {93, "4/4/2010", "Resurrection of the Lord^One Great Hour of Sharing"},
      {142, "5/23/2010", "Day of Pentecost"},
      {328, "11/25/2010", "Thanksgiving Day"},
      {357, "12/24/2010", "Christmas Eve"},
      {364, "12/31/2010", "New Year's Eve"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Field(records[c.slot], 1), c.date);
    EXPECT_EQ(Field(records[c.slot], 3), c.names) << c.date;
  }
}

// Walks the names the way the event import does: index 1, 2, ... until the
// first empty name.
std::vector<std::string> NamesOf(std::string_view record) {
  std::vector<std::string> names;
  const std::string names_field = Field(record, 3);
  if (names_field.empty()) return names;
  for (int16_t index = 1;; ++index) {
    std::string name = GetDelimitedFields(names_field, "^", index, 0);
    if (name.empty()) break;
    names.push_back(std::move(name));
  }
  return names;
}

TEST(DateRecordNamesTest, Totals) {
  const std::vector<std::string> records = LoadedRecords();
  int named_days = 0;
  int days_with_two_names = 0;
  int names = 0;
  for (const std::string& record : records) {
    const size_t count = NamesOf(record).size();
    named_days += count > 0;
    days_with_two_names += count == 2;
    names += static_cast<int>(count);
    EXPECT_LE(count, 2u) << record;
  }
  EXPECT_EQ(named_days, 73);
  EXPECT_EQ(days_with_two_names, 7);
  EXPECT_EQ(names, 80);
}

// "Palm Sunday", "Ash Wednesday", "1st Monday Of Advent": a name that
// names a weekday falls on it.
TEST(DateRecordNamesTest, WeekdayNamesFallOnThatWeekday) {
  using namespace std::chrono;
  const std::vector<std::string> records = LoadedRecords();
  const char* const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                   "Thursday", "Friday", "Saturday"};
  int checked = 0;
  for (int slot = 0; slot < kDaysIn2010; ++slot) {
    const weekday day{sys_days{year{2010} / January / 1} + days{slot}};
    for (const std::string& name : NamesOf(records[slot])) {
      for (unsigned w = 0; w < 7; ++w) {
        if (name.find(kWeekdays[w]) == std::string::npos) continue;
        EXPECT_EQ(day.c_encoding(), w) << name << " on " << Field(records[slot], 1);
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 28);
}

TEST(DateRecordNamesTest, MaundyThursdayCarriesTwoNames) {
  const std::vector<std::string> records = LoadedRecords();
  EXPECT_EQ(NamesOf(records[90]),
            (std::vector<std::string>{"Maundy Thursday", "April Fool's Day"}));
  EXPECT_EQ(Field(records[90], 1), "4/1/2010");
}

TEST(DateRecordNamesTest, PlainApostrophesAreSingleInEightNames) {
  const std::vector<std::string> records = LoadedRecords();
  std::set<std::string> with_apostrophe;
  for (const std::string& record : records) {
    for (const std::string& name : NamesOf(record)) {
      if (name.find('\'') != std::string::npos) {
        with_apostrophe.insert(name);
        EXPECT_EQ(name.find("''"), std::string::npos) << name;
      }
    }
  }
  const std::set<std::string> expected = {
      "New Year's Day",    "Lincoln's Birthday", "President's Day", "Washington's Birthday",
      "St. Patrick's Day", "April Fool's Day",   "Mother's Day",    "New Year's Eve"};
  EXPECT_EQ(with_apostrophe, expected);
}

TEST(DateRecordNamesTest, NamesArePlainAsciiWithoutStrayBlanks) {
  const std::vector<std::string> records = LoadedRecords();
  for (const std::string& record : records) {
    for (const std::string& name : NamesOf(record)) {
      for (char c : name) {
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F)
            << name;
      }
      EXPECT_NE(name.front(), ' ') << name;
      EXPECT_NE(name.back(), ' ') << name;
    }
  }
}

// --- Notes -----------------------------------------------------------------

struct ExpectedNote {
  std::string_view date;
  int length;  // characters as stored
  int typographic_apostrophes;
  int en_dashes;
  int double_quotes;
  int plain_apostrophes;
};

constexpr ExpectedNote kExpectedNotes[] = {
    {"1/6/2010", 357, 1, 0, 1, 2},   {"1/10/2010", 190, 0, 0, 0, 0},
    {"2/7/2010", 361, 2, 0, 0, 0},   {"2/14/2010", 266, 0, 0, 2, 0},
    {"2/16/2010", 512, 0, 0, 2, 0},  {"2/17/2010", 546, 1, 0, 0, 0},
    {"2/21/2010", 603, 0, 0, 0, 0},  {"2/28/2010", 603, 0, 0, 0, 0},
    {"3/7/2010", 603, 0, 0, 0, 0},   {"3/14/2010", 603, 0, 0, 0, 0},
    {"3/21/2010", 603, 0, 0, 0, 0},  {"3/5/2010", 342, 0, 2, 0, 0},
    {"3/17/2010", 155, 1, 1, 0, 0},  {"3/28/2010", 261, 0, 0, 0, 0},
    {"4/1/2010", 403, 0, 0, 10, 0},  {"4/2/2010", 204, 0, 0, 0, 0},
    {"4/3/2010", 424, 0, 0, 0, 0},   {"4/4/2010", 174, 0, 0, 0, 0},
    {"4/11/2010", 78, 0, 0, 0, 0},   {"4/18/2010", 78, 0, 0, 0, 0},
    {"4/25/2010", 78, 0, 0, 0, 0},   {"5/2/2010", 78, 0, 0, 0, 0},
    {"5/9/2010", 78, 0, 0, 0, 0},    {"5/16/2010", 78, 0, 0, 0, 0},
    {"5/6/2010", 265, 0, 0, 0, 0},   {"5/13/2010", 333, 0, 0, 0, 0},
    {"5/23/2010", 440, 0, 0, 0, 0},  {"5/30/2010", 105, 0, 0, 0, 0},
    {"11/1/2010", 142, 0, 0, 0, 0},  {"11/21/2010", 368, 0, 0, 0, 0},
    {"11/28/2010", 452, 0, 0, 0, 0}, {"11/29/2010", 416, 0, 0, 2, 0},
    {"11/30/2010", 366, 0, 0, 0, 0}, {"12/1/2010", 317, 0, 0, 0, 0},
    {"12/2/2010", 301, 0, 0, 0, 0},  {"12/3/2010", 428, 0, 0, 0, 0},
    {"12/4/2010", 157, 0, 0, 0, 0},  {"12/5/2010", 154, 0, 0, 2, 0},
    {"12/12/2010", 105, 0, 0, 0, 0}, {"12/19/2010", 434, 0, 0, 0, 0},
    {"12/25/2010", 230, 0, 0, 0, 0},
};

void PrintTo(const ExpectedNote& e, std::ostream* os) { *os << e.date << " (" << e.length << ")"; }

std::map<std::string, std::string> NotesByDate(const std::vector<std::string>& records) {
  std::map<std::string, std::string> notes;
  for (const std::string& record : records) {
    std::string note = Field(record, 4);
    if (!note.empty()) notes.emplace(Field(record, 1), std::move(note));
  }
  return notes;
}

TEST(DateRecordNotesTest, ExactlyTheListedDaysHaveNotes) {
  const std::map<std::string, std::string> notes = NotesByDate(LoadedRecords());
  std::set<std::string> dates;
  for (const auto& [date, note] : notes) dates.insert(date);
  std::set<std::string> expected;
  for (const ExpectedNote& e : kExpectedNotes) expected.insert(std::string(e.date));
  EXPECT_EQ(dates, expected);
  EXPECT_EQ(notes.size(), 41u);
}

TEST(DateRecordNotesTest, OnlyNamedDaysHaveNotes) {
  for (const std::string& record : LoadedRecords()) {
    if (!Field(record, 4).empty()) {
      EXPECT_NE(Field(record, 3), "") << Field(record, 1);
    }
  }
}

TEST(DateRecordNotesTest, ThirtyTwoDistinctTexts) {
  std::set<std::string> texts;
  for (const auto& [date, note] : NotesByDate(LoadedRecords())) texts.insert(note);
  EXPECT_EQ(texts.size(), 32u);
}

class DateRecordNoteTest : public testing::TestWithParam<ExpectedNote> {
 protected:
  static void SetUpTestSuite() { notes_ = new auto(NotesByDate(LoadedRecords())); }
  static void TearDownTestSuite() {
    delete notes_;
    notes_ = nullptr;
  }
  static const std::map<std::string, std::string>* notes_;
};

const std::map<std::string, std::string>* DateRecordNoteTest::notes_ = nullptr;

TEST_P(DateRecordNoteTest, LengthAndSpecialCharacters) {
  const ExpectedNote& expected = GetParam();
  const auto found = notes_->find(std::string(expected.date));
  ASSERT_NE(found, notes_->end());
  const std::string& note = found->second;

  const int length = CountCharacters(note);
  ASSERT_GT(length, 0) << "not well-formed UTF-8";
  EXPECT_GE(length, expected.length * 85 / 100) << note;
  EXPECT_LE(length, expected.length * 115 / 100) << note;

  EXPECT_EQ(CountOf(note, kTypographicApostrophe), expected.typographic_apostrophes);
  EXPECT_EQ(CountOf(note, kEnDash), expected.en_dashes);
  EXPECT_EQ(CountOf(note, "\""), expected.double_quotes);
  EXPECT_EQ(CountOf(note, "'"), expected.plain_apostrophes);
  // Any plain apostrophe comes doubled, or it would end the SQL literal.
  EXPECT_EQ(CountOf(note, "''") * 2, expected.plain_apostrophes);

  for (std::string_view banned : {"|", "^", "\n", "\r", "\t"}) {
    EXPECT_EQ(note.find(banned), std::string::npos) << "holds " << banned;
  }
  EXPECT_NE(note.front(), ' ');
  EXPECT_NE(note.back(), ' ');
}

INSTANTIATE_TEST_SUITE_P(ByDate, DateRecordNoteTest, testing::ValuesIn(kExpectedNotes),
                         [](const testing::TestParamInfo<ExpectedNote>& param_info) {
                           std::string name(param_info.param.date);
                           for (char& c : name) {
                             if (c == '/') c = '_';
                           }
                           return "Date_" + name;
                         });

// The Epiphany note quotes one word with a plain double quote and closes it
// with the doubled apostrophe: "word'' with no blank inside.
TEST(DateRecordNotesTest, EpiphanyQuotedWordClosesWithDoubledApostrophe) {
  const std::map<std::string, std::string> notes = NotesByDate(LoadedRecords());
  const std::string& note = notes.at("1/6/2010");
  const size_t open = note.find('"');
  const size_t close = note.find("''");
  ASSERT_NE(open, std::string::npos);
  ASSERT_NE(close, std::string::npos);
  ASSERT_LT(open + 1, close);
  const std::string word = note.substr(open + 1, close - open - 1);
  EXPECT_EQ(word.find(' '), std::string::npos) << word;
}

TEST(DateRecordNotesTest, SharedNotesAreOneText) {
  const std::vector<std::string> records = LoadedRecords();
  const std::vector<std::vector<int>> groups = {
      {51, 58, 65, 72, 79},            // 1st to 5th Sunday in Lent
      {100, 107, 114, 121, 128, 135},  // 2nd to 7th Sunday Of Easter
  };
  for (const std::vector<int>& group : groups) {
    const std::string first = Field(records[group.front()], 4);
    EXPECT_FALSE(first.empty());
    for (int slot : group) EXPECT_EQ(Field(records[slot], 4), first) << records[slot];
  }
}

}  // namespace
}  // namespace yeardata
