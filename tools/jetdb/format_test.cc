// Tests of the export text forms: dates (rounding, negative days, the
// limits of the four-digit year), exact currency, GUID byte order, JSON and
// CSV escaping, and whole rows that must parse back as JSON.
#include "tools/jetdb/format.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/console.h"

namespace jetdb {
namespace {

struct DateCase {
  double ole_date;
  const char* expected;  // nullptr: not representable
};

class OleDateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(OleDateTest, FormatsToTheSecond) {
  const DateCase& c = GetParam();
  std::string out = "x";
  const bool ok = AppendOleDate(c.ole_date, &out);
  if (c.expected == nullptr) {
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "x") << "nothing may be appended for an unrepresentable date";
  } else {
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, std::string("x") + c.expected) << "OLE date " << c.ole_date;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dates, OleDateTest,
    ::testing::Values(
        DateCase{0.0, "1899-12-30T00:00:00"}, DateCase{0.25, "1899-12-30T06:00:00"},  // time only
        DateCase{0.75 + 1.0 / 86400, "1899-12-30T18:00:01"}, DateCase{1.0, "1899-12-31T00:00:00"},
        DateCase{2.0, "1900-01-01T00:00:00"},
        DateCase{60.0, "1900-02-28T00:00:00"},  // 1900 is no leap year
        DateCase{61.0, "1900-03-01T00:00:00"}, DateCase{36526.0, "2000-01-01T00:00:00"},
        DateCase{36585.0, "2000-02-29T00:00:00"},  // 2000 is one
        DateCase{40179.5, "2010-01-01T12:00:00"},
        DateCase{40543.0 + 23.0 / 24 + 59.0 / 1440, "2010-12-31T23:59:00"},
        // Rounding to the nearest second carries into the next day.
        DateCase{0.999999, "1899-12-31T00:00:00"}, DateCase{40179.99999999, "2010-01-02T00:00:00"},
        DateCase{40179.0 + 86399.4 / 86400, "2010-01-01T23:59:59"},
        // Before 1899-12-30 the fraction is still a forward time of day.
        DateCase{-1.0, "1899-12-29T00:00:00"}, DateCase{-1.25, "1899-12-29T06:00:00"},
        DateCase{-0.5, "1899-12-30T12:00:00"}, DateCase{-1.999999999, "1899-12-30T00:00:00"},
        DateCase{-657434.0, "0100-01-01T00:00:00"},  // Access's first day
        DateCase{-693593.0, "0001-01-01T00:00:00"},
        DateCase{2958465.0 + 86399.0 / 86400, "9999-12-31T23:59:59"}, DateCase{2958466.0, nullptr},
        DateCase{2958465.9999999, nullptr},  // rounds past 9999
        DateCase{-693594.0, nullptr}, DateCase{1e300, nullptr},
        DateCase{std::numeric_limits<double>::quiet_NaN(), nullptr},
        DateCase{-std::numeric_limits<double>::infinity(), nullptr}));

TEST(CurrencyTest, ExactWithFourDecimals) {
  const struct {
    int64_t scaled;
    const char* expected;
  } cases[] = {
      {0, "0.0000"},
      {1, "0.0001"},
      {123400, "12.3400"},
      {-100, "-0.0100"},
      {-35000, "-3.5000"},
      {80498335000, "8049833.5000"},
      {std::numeric_limits<int64_t>::max(), "922337203685477.5807"},
      {std::numeric_limits<int64_t>::min(), "-922337203685477.5808"},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendCurrency(c.scaled, &out);
    EXPECT_EQ(out, c.expected) << c.scaled;
  }
}

TEST(GuidTest, FirstThreeFieldsAreLittleEndian) {
  const std::array<uint8_t, 16> stored = {0x6A, 0x27, 0x39, 0x8E, 0xA8, 0xBC, 0xC4, 0x4A,
                                          0x89, 0x1E, 0x49, 0x91, 0x1D, 0x84, 0x38, 0xDD};
  std::string out;
  AppendGuid(stored, &out);
  EXPECT_EQ(out, "{8E39276A-BCA8-4AC4-891E-49911D8438DD}");
}

TEST(HexTest, LowercasePairs) {
  std::string out;
  AppendHex(std::string_view("\x00\x0f\xa0\xff", 4), &out);
  EXPECT_EQ(out, "000fa0ff");
  out.clear();
  AppendHex("", &out);
  EXPECT_EQ(out, "");
}

TEST(NumberTest, DoublesReadBackExactly) {
  const double values[] = {0.0,
                           -0.0,
                           0.1,
                           -94.43,
                           444.555,
                           3245.0,
                           1e300,
                           -1e-300,
                           5e-324,
                           123456789012345680.0,
                           0.30000000000000004,
                           2.0 / 3.0};
  for (const double value : values) {
    std::string out;
    ASSERT_TRUE(AppendDouble(value, &out));
    EXPECT_EQ(std::strtod(out.c_str(), nullptr), value) << out;
    EXPECT_TRUE(nlohmann::json::accept(out)) << out << " is not a JSON number";
  }
  std::string out;
  EXPECT_FALSE(AppendDouble(std::numeric_limits<double>::quiet_NaN(), &out));
  EXPECT_FALSE(AppendDouble(std::numeric_limits<double>::infinity(), &out));
  EXPECT_EQ(out, "");
}

TEST(NumberTest, SinglesUseTheShortestFloatText) {
  std::string out;
  ASSERT_TRUE(AppendSingle(804983.375f, &out));
  EXPECT_EQ(out, "804983.4");
  EXPECT_EQ(std::strtof(out.c_str(), nullptr), 804983.375f);
  out.clear();
  ASSERT_TRUE(AppendSingle(-94.43f, &out));
  EXPECT_EQ(out, "-94.43");
}

TEST(JsonStringTest, Escaping) {
  const struct {
    std::string_view input;
    const char* expected;
  } cases[] = {
      {"plain", R"("plain")"},
      {"", R"("")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\dir", R"("C:\\dir")"},
      {std::string_view("\x01\n\t\x1f\x00z", 6), R"("\u0001\u000a\u0009\u001f\u0000z")"},
      {"Gr\xc3\xbc\xc3\x9f"
       "e \xe2\x82\xac \xf0\x9f\x98\x80",
       "\"Gr\xc3\xbc\xc3\x9f"
       "e \xe2\x82\xac \xf0\x9f\x98\x80\""},
      {"\x7f", "\"\x7f\""},
      // Not UTF-8: each offending byte becomes U+FFFD.
      {"a\xff"
       "b",
       R"("a\ufffdb")"},
      {"\xe2\x82", R"("\ufffd\ufffd")"},
      {"\xc0\xaf", R"("\ufffd\ufffd")"},                      // overlong '/'
      {"\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"},            // lone surrogate
      {"\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},  // past U+10FFFF
  };
  for (const auto& c : cases) {
    std::string out;
    AppendJsonString(c.input, &out);
    EXPECT_EQ(out, c.expected);
    EXPECT_TRUE(nlohmann::json::accept(out)) << out;
  }
}

// Strings are checked eight bytes at a time, so a byte that needs care must
// be found wherever it falls in a word, the string's last word included,
// and the plain bytes after it ('#', ']' and ' ' follow '"', '\\' and
// control characters in the code) must still be copied as they are.
TEST(JsonStringTest, EscapesAtEveryPlaceInAWord) {
  const struct {
    std::string_view bytes;
    std::string_view escaped;
  } specials[] = {
      {"\"#", "\\\"#"},
      {"\\]", "\\\\]"},
      {std::string_view("\0 ", 2), "\\u0000 "},
      {"\x1f ", "\\u001f "},
      {"\n\n", "\\u000a\\u000a"},
      {"\xc3\xa9", "\xc3\xa9"},
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      {"\xff", "\\ufffd"},
      {"\x7f", "\x7f"},
  };
  for (const auto& special : specials) {
    for (size_t length = 0; length <= 24; ++length) {
      for (size_t at = 0; at <= length; ++at) {
        const std::string before(at, 'x');
        const std::string after(length - at, 'y');
        std::string out;
        AppendJsonString(before + std::string(special.bytes) + after, &out);
        ASSERT_EQ(out, "\"" + before + std::string(special.escaped) + after + "\"")
            << "length " << length << " at " << at;
      }
    }
  }
}

TEST(CsvFieldTest, QuotesOnlyWhenNeeded) {
  const struct {
    std::string_view input;
    const char* expected;
  } cases[] = {
      {"plain text", "plain text"},     {"a,b", "\"a,b\""},   {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""}, {"cr\r", "\"cr\r\""}, {"\"", "\"\"\"\""},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendCsvField(c.input, &out);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(OutputFormatTest, Names) {
  OutputFormat format = OutputFormat::kCsv;
  EXPECT_TRUE(ParseOutputFormat("jsonl", &format));
  EXPECT_EQ(format, OutputFormat::kJsonLines);
  EXPECT_TRUE(ParseOutputFormat("csv", &format));
  EXPECT_EQ(format, OutputFormat::kCsv);
  EXPECT_FALSE(ParseOutputFormat("json", &format));
}

// A table with one column of every kind, and a row holding a value of each.
class RowFormatterTest : public ::testing::Test {
 protected:
  RowFormatterTest() {
    const std::pair<const char*, jet::ColumnType> columns[] = {
        {"Id", jet::ColumnType::kLong},        {"Name, \"quoted\"", jet::ColumnType::kText},
        {"Flag", jet::ColumnType::kBoolean},   {"Price", jet::ColumnType::kCurrency},
        {"Ratio", jet::ColumnType::kDouble},   {"When", jet::ColumnType::kDateTime},
        {"Blob", jet::ColumnType::kOle},       {"Key", jet::ColumnType::kGuid},
        {"Amount", jet::ColumnType::kNumeric}, {"Missing", jet::ColumnType::kText},
        {"Small", jet::ColumnType::kSingle},
    };
    for (const auto& [name, type] : columns) {
      jet::ColumnDef column;
      column.name = name;
      column.type = type;
      table_.columns.push_back(column);
    }
    jet::Decimal amount;
    amount.negative = true;
    amount.precision = 18;
    amount.scale = 2;
    amount.magnitude = {0, 0, 0, 1234};
    row_.values = {
        jet::Value::Integer(jet::Value::Kind::kLong, -7),
        jet::Value::Bytes(jet::Value::Kind::kText, "line1\nline2, \"x\""),
        jet::Value::Boolean(true),
        jet::Value::Integer(jet::Value::Kind::kCurrency, 35000),
        jet::Value::Real(jet::Value::Kind::kDouble, 0.1),
        jet::Value::Real(jet::Value::Kind::kDateTime, 40179.5),
        jet::Value::Bytes(jet::Value::Kind::kBinary, std::string_view("\x01\xab", 2)),
        jet::Value::Guid({0x6A, 0x27, 0x39, 0x8E, 0xA8, 0xBC, 0xC4, 0x4A, 0x89, 0x1E, 0x49, 0x91,
                          0x1D, 0x84, 0x38, 0xDD}),
        jet::Value::Dec(amount),
        jet::Value::Null(),
        jet::Value::Real(jet::Value::Kind::kSingle, static_cast<double>(-94.43f)),
    };
  }

  jet::TableDef table_;
  jet::Row row_;
};

// Lines end as the system ends them; data keeps its own line breaks.
const std::string kEnd(platform::kLineEnd);

TEST_F(RowFormatterTest, JsonLineHasEveryKeyInColumnOrder) {
  const RowFormatter formatter(OutputFormat::kJsonLines, table_);
  std::string out;
  formatter.AppendHeader(&out);
  EXPECT_EQ(out, "");
  formatter.AppendRow(row_, &out);
  EXPECT_EQ(out,
            R"({"Id":-7,"Name, \"quoted\"":"line1\u000aline2, \"x\"","Flag":true,"Price":"3.5000",)"
            R"("Ratio":0.1,"When":"2010-01-01T12:00:00","Blob":"01ab",)"
            R"("Key":"{8E39276A-BCA8-4AC4-891E-49911D8438DD}","Amount":"-12.34","Missing":null,)"
            R"("Small":-94.43})" +
                kEnd);
  const auto parsed = nlohmann::ordered_json::parse(out);
  ASSERT_EQ(parsed.size(), table_.columns.size());
  size_t i = 0;
  for (const auto& [key, value] : parsed.items()) EXPECT_EQ(key, table_.columns[i++].name);
}

TEST_F(RowFormatterTest, CsvKeepsNullApartFromEmptyText) {
  const RowFormatter formatter(OutputFormat::kCsv, table_);
  std::string out;
  formatter.AppendHeader(&out);
  EXPECT_EQ(out, "Id,\"Name, \"\"quoted\"\"\",Flag,Price,Ratio,When,Blob,Key,Amount,Missing,Small" +
                     kEnd);
  out.clear();
  formatter.AppendRow(row_, &out);
  EXPECT_EQ(out,
            "-7,\"line1\nline2, \"\"x\"\"\",true,3.5000,0.1,2010-01-01T12:00:00,01ab,"
            "{8E39276A-BCA8-4AC4-891E-49911D8438DD},-12.34,,-94.43" +
                kEnd);
  out.clear();
  row_.values[9] = jet::Value::Bytes(jet::Value::Kind::kText, "");
  row_.values[4] = jet::Value::Real(jet::Value::Kind::kDouble, std::nan(""));
  formatter.AppendRow(row_, &out);
  EXPECT_NE(out.find(",,2010-01-01T12:00:00,"), std::string::npos) << out;
  EXPECT_NE(out.find(",\"\",-94.43" + kEnd), std::string::npos) << out;
}

TEST_F(RowFormatterTest, RowsFollowEachOtherInOneBuffer) {
  // A text far longer than what the buffer first holds makes it grow
  // between rows; each row must read as it does on its own.
  const std::string long_text(100000, 'z');
  for (const OutputFormat format : {OutputFormat::kJsonLines, OutputFormat::kCsv}) {
    const RowFormatter formatter(format, table_);
    OutputBuffer buffer;
    std::string expected;
    for (int i = 0; i < 20; ++i) {
      row_.values[1] =
          jet::Value::Bytes(jet::Value::Kind::kText,
                            i % 7 == 3 ? std::string_view(long_text) : std::string_view("short"));
      row_.values[0] = jet::Value::Integer(jet::Value::Kind::kLong, i * 7919 - 50000);
      formatter.AppendRow(row_, &buffer);
      formatter.AppendRow(row_, &expected);
    }
    EXPECT_EQ(buffer.view(), expected);
  }
}

TEST(OutputBufferTest, KeepsWhatWasCommitted) {
  OutputBuffer buffer;
  std::string expected;
  for (size_t i = 0; i < 3000; ++i) {
    const std::string piece(i % 97, static_cast<char>('a' + i % 26));
    // More room than is used: only the committed bytes count.
    char* p = buffer.Room(piece.size() + 50);
    std::memcpy(p, piece.data(), piece.size());
    buffer.Commit(p + piece.size());
    expected += piece;
  }
  EXPECT_EQ(buffer.view(), expected);
  buffer.clear();
  EXPECT_TRUE(buffer.empty());
  buffer.Append("again");
  EXPECT_EQ(buffer.view(), "again");
}

TEST_F(RowFormatterTest, UnrepresentableValuesStayValidJson) {
  row_.values[4] =
      jet::Value::Real(jet::Value::Kind::kDouble, std::numeric_limits<double>::infinity());
  row_.values[5] = jet::Value::Real(jet::Value::Kind::kDateTime, 1e12);
  row_.values[1] = jet::Value::Bytes(jet::Value::Kind::kText, "\xff\xfe");
  const RowFormatter formatter(OutputFormat::kJsonLines, table_);
  std::string out;
  formatter.AppendRow(row_, &out);
  const auto parsed = nlohmann::json::parse(out);
  EXPECT_TRUE(parsed["Ratio"].is_null());
  EXPECT_EQ(parsed["When"], 1e12) << "a date past 9999 keeps its raw day count";
  EXPECT_EQ(parsed["Name, \"quoted\""], "\xef\xbf\xbd\xef\xbf\xbd");
}

}  // namespace
}  // namespace jetdb
