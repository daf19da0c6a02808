// Tests for GetDelimitedField and GetDelimitedFields: the record and names
// cases the day merge and the event import rely on, the odd corners of the
// search (leading, trailing and adjacent delimiters, delimiters of several
// characters, multi-byte UTF-8), and the 16-bit overflows.
#include "yeardata/delimited_fields.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace yeardata {
namespace {

constexpr int16_t kMinInt16 = std::numeric_limits<int16_t>::min();
constexpr int16_t kMaxInt16 = std::numeric_limits<int16_t>::max();

constexpr std::string_view kNewYearRecord = "1/1/2010|White|New Year's Day|";
constexpr std::string_view kPlainDayRecord = "1/2/2010|White||";
constexpr std::string_view kTwoNames = "Transfiguration of the Lord^Valentines Day";

struct FieldCase {
  std::string_view source;
  std::string_view delimiter;
  int16_t index;
  std::string_view expected;
};

void PrintTo(const FieldCase& c, std::ostream* os) {
  *os << '"' << c.source << "\" / \"" << c.delimiter << "\" #" << c.index;
}

class GetDelimitedFieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(GetDelimitedFieldTest, ReturnsField) {
  const FieldCase& c = GetParam();
  EXPECT_EQ(GetDelimitedField(c.source, c.delimiter, c.index), c.expected);
  // With last 0 the run function must give exactly the same field (except at
  // 32767, where its counter overflows; see the overflow tests).
  if (c.index != kMaxInt16) {
    EXPECT_EQ(GetDelimitedFields(c.source, c.delimiter, c.index, 0), c.expected);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Records, GetDelimitedFieldTest,
    testing::Values(
        // A named day without notes: the empty last field behind the final
        // bar, and no fifth field at all.
        FieldCase{kNewYearRecord, "|", 1, "1/1/2010"},
        FieldCase{kNewYearRecord, "|", 2, "White"},
        FieldCase{kNewYearRecord, "|", 3, "New Year's Day"},
        FieldCase{kNewYearRecord, "|", 4, ""},
        FieldCase{kNewYearRecord, "|", 5, ""},
        FieldCase{kNewYearRecord, "|", kMaxInt16, ""},
        // A plain day: adjacent bars enclose an empty names field.
        FieldCase{kPlainDayRecord, "|", 2, "White"},
        FieldCase{kPlainDayRecord, "|", 3, ""},
        FieldCase{kPlainDayRecord, "|", 4, ""},
        // Index 0 and below behave exactly like 1.
        FieldCase{kNewYearRecord, "|", 0, "1/1/2010"},
        FieldCase{kNewYearRecord, "|", -3, "1/1/2010"},
        FieldCase{kNewYearRecord, "|", kMinInt16 + 1, "1/1/2010"},
        // The empty record has four empty fields (and no others).
        FieldCase{"", "|", 1, ""},
        FieldCase{"", "|", 2, ""},
        FieldCase{"", "|", 4, ""},
        FieldCase{"", "|", 0, ""}));
// clang-format on

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Names, GetDelimitedFieldTest,
    testing::Values(
        // One name: no delimiter, so index 1 is the whole source.
        FieldCase{"New Year's Day", "^", 1, "New Year's Day"},
        FieldCase{"New Year's Day", "^", 2, ""},
        // Two names; the empty third ends the import's names loop.
        FieldCase{kTwoNames, "^", 1, "Transfiguration of the Lord"},
        FieldCase{kTwoNames, "^", 2, "Valentines Day"},
        FieldCase{kTwoNames, "^", 3, ""}));
// clang-format on

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Search, GetDelimitedFieldTest,
    testing::Values(
        // A leading delimiter gives an empty first field.
        FieldCase{"|a|b", "|", 1, ""},
        FieldCase{"|a|b", "|", 2, "a"},
        FieldCase{"|a|b", "|", 3, "b"},
        FieldCase{"|", "|", 1, ""},
        FieldCase{"|", "|", 2, ""},
        FieldCase{"|", "|", 3, ""},
        // No delimiter at all.
        FieldCase{"abc", "|", 1, "abc"},
        FieldCase{"abc", "|", 2, ""},
        // Matching is exact and case-sensitive.
        FieldCase{"aXbxc", "x", 1, "aXb"},
        FieldCase{"aXbxc", "x", 2, "c"},
        // Several-character delimiters are consumed whole, left to right,
        // without overlap: "|||" is "||" followed by a field starting "|".
        FieldCase{"a|||b", "||", 1, "a"},
        FieldCase{"a|||b", "||", 2, "|b"},
        FieldCase{"a|||b", "||", 3, ""},
        FieldCase{"a||||b", "||", 2, ""},
        FieldCase{"a||||b", "||", 3, "b"},
        FieldCase{"one, two, three", ", ", 3, "three"},
        // A delimiter longer than the source or than its rest never matches.
        FieldCase{"a|", "|||", 1, "a|"},
        FieldCase{"a|", "|||", 2, ""}));
// clang-format on

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Utf8, GetDelimitedFieldTest,
    testing::Values(
        FieldCase{"Saint Patrick\u2019s Day^Ba\u00f1os", "^", 1, "Saint Patrick\u2019s Day"},
        FieldCase{"Saint Patrick\u2019s Day^Ba\u00f1os", "^", 2, "Ba\u00f1os"},
        // A multi-byte delimiter, and a source whose other characters share
        // its lead byte (U+2014 and U+2019 both start E2 80): only whole
        // characters match.
        FieldCase{"a\u2014b\u2013c\u2019d", "\u2013", 1, "a\u2014b"},
        FieldCase{"a\u2014b\u2013c\u2019d", "\u2013", 2, "c\u2019d"},
        FieldCase{"a\u2014b\u2013c\u2019d", "\u2013", 3, ""}));
// clang-format on

// An empty delimiter never matches: the source is one field.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EmptyDelimiter, GetDelimitedFieldTest,
    testing::Values(FieldCase{"a|b", "", 1, "a|b"}, FieldCase{"a|b", "", 0, "a|b"},
                    FieldCase{"a|b", "", 2, ""}, FieldCase{"", "", 1, ""}));
// clang-format on

struct RunCase {
  std::string_view source;
  std::string_view delimiter;
  int16_t first;
  int16_t last;
  std::string_view expected;
};

void PrintTo(const RunCase& c, std::ostream* os) {
  *os << '"' << c.source << "\" / \"" << c.delimiter << "\" " << c.first << ".." << c.last;
}

class GetDelimitedFieldsTest : public testing::TestWithParam<RunCase> {};

TEST_P(GetDelimitedFieldsTest, JoinsRun) {
  const RunCase& c = GetParam();
  EXPECT_EQ(GetDelimitedFields(c.source, c.delimiter, c.first, c.last), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, GetDelimitedFieldsTest,
    testing::Values(RunCase{kNewYearRecord, "|", 2, 3, "White|New Year's Day"},
                    RunCase{kNewYearRecord, "|", 3, 0, "New Year's Day"},
                    RunCase{kNewYearRecord, "|", 3, 2, ""},  // last below first: no field at all
                    RunCase{kNewYearRecord, "|", 1, 4, kNewYearRecord},
                    RunCase{kNewYearRecord, "|", 3, 4, "New Year's Day|"},
                    RunCase{kPlainDayRecord, "|", 2, 4, "White||"},
                    RunCase{"|a|b", "|", 1, 2, "|a"},
                    RunCase{"a|||b", "||", 1, 2, "a|||b"},  // the joint is the whole delimiter
                    RunCase{kTwoNames, "^", 1, 2, kTwoNames},
                    // Fields below 1 read as field 1, each one joined.
                    RunCase{"a|b", "|", -1, 1, "a|a|a"}, RunCase{"a|b", "|", 0, 2, "a|a|b"},
                    // Past the last field every missing field still adds the delimiter
                    // and an empty field.
                    RunCase{"a|b", "|", 1, 4, "a|b||"}, RunCase{"a|b", "|", 3, 5, "||"},
                    RunCase{"", "|", 1, 3, "||"},
                    // The empty delimiter joins nothing in between.
                    RunCase{"a|b", "", 1, 3, "a|b"},
                    // The last possible run that does not reach 32767 succeeds.
                    RunCase{"a", "|", kMaxInt16 - 1, 0, ""},
                    RunCase{"a", "|", kMaxInt16 - 2, kMaxInt16 - 1, "|"},
                    RunCase{"a", "|", kMaxInt16, kMaxInt16 - 1, ""}));  // no pass, no increment

// Joining every field of a text gives the text back, whatever the delimiter.
TEST(GetDelimitedFieldsTest, AllFieldsRebuildSource) {
  struct Source {
    std::string_view text;
    std::string_view delimiter;
  };
  const Source sources[] = {
      {kNewYearRecord, "|"}, {kPlainDayRecord, "|"}, {"", "|"},       {"|", "|"},
      {"||a||", "|"},        {kTwoNames, "^"},       {"a|||b", "||"}, {"x\u2013y\u2013", "\u2013"},
  };
  for (const Source& s : sources) {
    int16_t field_count = 1;
    for (size_t at = s.text.find(s.delimiter); at != std::string_view::npos;
         at = s.text.find(s.delimiter, at + s.delimiter.size())) {
      ++field_count;
    }
    EXPECT_EQ(GetDelimitedFields(s.text, s.delimiter, 1, field_count), s.text) << s.text;
  }
}

TEST(DelimitedFieldOverflowTest, IndexMinus32768Overflows) {
  EXPECT_THROW(GetDelimitedField(kNewYearRecord, "|", kMinInt16), std::overflow_error);
  EXPECT_THROW(GetDelimitedField("", "|", kMinInt16), std::overflow_error);
  EXPECT_THROW(GetDelimitedField("abc", "", kMinInt16), std::overflow_error);
  EXPECT_THROW(GetDelimitedFields(kNewYearRecord, "|", kMinInt16, 0), std::overflow_error);
  EXPECT_THROW(GetDelimitedFields(kNewYearRecord, "|", kMinInt16, 2), std::overflow_error);
  EXPECT_NO_THROW(GetDelimitedField(kNewYearRecord, "|", kMinInt16 + 1));
}

TEST(DelimitedFieldOverflowTest, OverflowIsReportedAsOverflow) {
  try {
    GetDelimitedField("a", "|", kMinInt16);
    FAIL() << "no exception";
  } catch (const std::overflow_error& e) {
    EXPECT_STREQ(e.what(), "Overflow");
  }
}

// The counter is incremented after the final pass too, so any run that ends
// at 32767 overflows, even a single field.
TEST(DelimitedFieldOverflowTest, CounterPast32767Overflows) {
  EXPECT_THROW(GetDelimitedFields(kNewYearRecord, "|", kMaxInt16, 0), std::overflow_error);
  EXPECT_THROW(GetDelimitedFields(kNewYearRecord, "|", kMaxInt16, kMaxInt16), std::overflow_error);
  EXPECT_THROW(GetDelimitedFields(kNewYearRecord, "|", kMaxInt16 - 5, kMaxInt16),
               std::overflow_error);
  EXPECT_THROW(GetDelimitedFields("", "", 1, kMaxInt16), std::overflow_error);
  // GetDelimitedField itself has no counter to overflow.
  EXPECT_EQ(GetDelimitedField(kNewYearRecord, "|", kMaxInt16), "");
}

}  // namespace
}  // namespace yeardata
