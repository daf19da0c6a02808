// Tests of reading export text back: every row of the shared databases goes
// format -> parse -> format and must come back as the same text, in both
// output formats; dates round-trip over their whole range; bad inputs fail
// with a message that names the column and the value.
#include "tools/jetdb/parse.h"

#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "platform/console.h"
#include "support/shared_copy.h"
#include "tools/jetdb/date_text.h"

namespace jetdb {
namespace {

struct SharedFile {
  const char* folder;
  const char* name;
};

class RoundTripTest : public ::testing::TestWithParam<SharedFile> {};

// Formats the whole table, reads the text back record by record and formats
// again; the two texts must agree line for line. Adds the rows to *rows.
void RoundTripTable(jet::Database& db, const jet::TableDef& table, OutputFormat format,
                    size_t* rows) {
  SCOPED_TRACE(table.name + (format == OutputFormat::kCsv ? " as CSV" : " as JSON lines"));
  auto cursor = db.Scan(table);
  ASSERT_TRUE(cursor.ok()) << cursor.status().ToString();
  const RowFormatter formatter(format, table);
  std::string exported;
  formatter.AppendHeader(&exported);
  jet::Row row;
  jet::Status status;
  size_t scanned = 0;
  while ((*cursor)->Next(&row, &status)) {
    formatter.AppendRow(row, &exported);
    ++scanned;
  }
  ASSERT_TRUE(status.ok()) << status.ToString();

  RecordSplitter splitter(format, exported);
  RowParser parser(format, table);
  std::string_view record;
  size_t line = 0;
  if (format == OutputFormat::kCsv) {
    ASSERT_TRUE(splitter.Next(&record, &line));
    ASSERT_TRUE(parser.ReadCsvHeader(record).ok());
  }
  std::string again;
  formatter.AppendHeader(&again);
  size_t parsed = 0;
  while (splitter.Next(&record, &line)) {
    const jet::Status parse_status = parser.ParseRow(record, &row);
    ASSERT_TRUE(parse_status.ok()) << "line " << line << ": " << parse_status.ToString() << "\n"
                                   << record;
    const size_t start = again.size();
    formatter.AppendRow(row, &again);
    // RecordSplitter drops the line end; AppendRow writes one.
    ASSERT_EQ(std::string_view(again).substr(start),
              std::string(record) + std::string(platform::kLineEnd))
        << "line " << line;
    ++parsed;
  }
  EXPECT_EQ(parsed, scanned);
  EXPECT_EQ(again, exported);
  *rows += parsed;
}

TEST_P(RoundTripTest, EveryRowOfEveryTableReadsBackToTheSameText) {
  const tessaly::testing::SharedFileCopy copy(GetParam().folder, GetParam().name);
  auto db = jet::Database::Open(copy.path().string());
  ASSERT_TRUE(db.ok()) << db.status().ToString();
  auto names = (*db)->UserTableNames();
  ASSERT_TRUE(names.ok()) << names.status().ToString();
  size_t rows = 0;
  for (const std::string& name : *names) {
    auto table = (*db)->GetTable(name);
    ASSERT_TRUE(table.ok()) << table.status().ToString();
    RoundTripTable(**db, *table, OutputFormat::kJsonLines, &rows);
    RoundTripTable(**db, *table, OutputFormat::kCsv, &rows);
  }
  EXPECT_GT(rows, 0u) << "a file without rows proves nothing";
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, RoundTripTest,
                         ::testing::Values(SharedFile{"fixtures", "tessdata-2009.mdb"},
                                           SharedFile{"fixtures", "tessdata-2009-access2003.mdb"},
                                           SharedFile{"fixtures", "tessdata-textindex.mdb"},
                                           SharedFile{"fixtures", "tessdata-large.mdb"},
                                           SharedFile{"corpus", "testV1997.mdb"},
                                           SharedFile{"corpus", "testV2000.mdb"},
                                           SharedFile{"corpus", "test2V2000.mdb"},
                                           SharedFile{"corpus", "test2V2003.mdb"},
                                           SharedFile{"corpus", "fixedNumericTestV2000.mdb"},
                                           SharedFile{"corpus", "compIndexTestV2000.mdb"},
                                           SharedFile{"corpus", "overflowTestV2000.mdb"},
                                           SharedFile{"corpus", "delColTestV1997.mdb"},
                                           SharedFile{"corpus", "testIndexCodesV1997.mdb"}),
                         [](const ::testing::TestParamInfo<SharedFile>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(OleDateTest, EveryFormattedSecondReadsBack) {
  // Steps of a prime number of days and seconds cover both signs, every
  // month and the ends of the four-digit years.
  for (double day = -693593; day <= 2958465; day += 997) {
    for (int second : {0, 1, 21599, 43200, 86399}) {
      const double fraction = second / 86400.0;
      const double ole_date = day >= 0 ? day + fraction : day - fraction;
      std::string text;
      ASSERT_TRUE(AppendOleDate(ole_date, &text)) << ole_date;
      double parsed = 0;
      ASSERT_TRUE(ParseOleDate(text, &parsed)) << text;
      std::string again;
      ASSERT_TRUE(AppendOleDate(parsed, &again));
      ASSERT_EQ(again, text) << "OLE date " << ole_date << " read back as " << parsed;
    }
  }
  double parsed = 0;
  ASSERT_TRUE(ParseOleDate("1899-12-29T06:00:00", &parsed));
  EXPECT_EQ(parsed, -1.25);
  ASSERT_TRUE(ParseOleDate("2010-01-01 12:00:00", &parsed));
  EXPECT_EQ(parsed, 40179.5);
  for (const char* bad : {"2010-02-29T00:00:00", "2000-13-01", "0000-01-01", "2010-01-01T24:00:00",
                          "2010-1-01", "2010-01-01T00:00", "10/1/2010"}) {
    EXPECT_FALSE(ParseOleDate(bad, &parsed)) << bad;
  }
}

jet::TableDef EveryTypeTable() {
  jet::TableDef table;
  table.name = "Samples";
  const auto add = [&](const char* name, jet::ColumnType type) {
    jet::ColumnDef column;
    column.name = name;
    column.type = type;
    column.column_number = static_cast<uint16_t>(table.columns.size());
    if (type == jet::ColumnType::kNumeric) {
      column.precision = 6;
      column.scale = 2;
    }
    table.columns.push_back(column);
  };
  add("Flag", jet::ColumnType::kBoolean);
  add("Small", jet::ColumnType::kByte);
  add("Count", jet::ColumnType::kLong);
  add("Price", jet::ColumnType::kCurrency);
  add("Ratio", jet::ColumnType::kSingle);
  add("When", jet::ColumnType::kDateTime);
  add("Name", jet::ColumnType::kText);
  add("Blob", jet::ColumnType::kOle);
  add("Id", jet::ColumnType::kGuid);
  add("Amount", jet::ColumnType::kNumeric);
  return table;
}

TEST(RowParserTest, ReadsExactValues) {
  RowParser parser(OutputFormat::kJsonLines, EveryTypeTable());
  jet::Row row;
  const jet::Status status = parser.ParseRow(
      R"({"price":"-922337203685477.5808","Count":-2147483648,"Ratio":0.1,"Name":"a\"\u00e9\ud83d\ude00",)"
      R"("Blob":"00fF","Id":"{00010203-0405-0607-0809-0A0B0C0D0E0F}","Amount":"-9999.9","Flag":true})",
      &row);
  ASSERT_TRUE(status.ok()) << status.ToString();
  EXPECT_TRUE(row.values[0].boolean());
  EXPECT_TRUE(row.values[1].is_null()) << "an absent column is null";
  EXPECT_EQ(row.values[2].integer(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(row.values[3].integer(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(row.values[4].real(), static_cast<double>(0.1f)) << "read as a float, not a double";
  EXPECT_EQ(row.values[6].text(), "a\"\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(row.values[7].binary(), std::string("\x00\xff", 2));
  EXPECT_EQ(row.values[8].guid()[0], 3) << "the first group is stored little-endian";
  EXPECT_EQ(row.values[8].guid()[15], 15);
  EXPECT_EQ(row.values[9].decimal().ToString(), "-9999.90");

  RowParser csv(OutputFormat::kCsv, EveryTypeTable());
  ASSERT_TRUE(csv.ReadCsvHeader("Name,Blob,When,Amount").ok());
  ASSERT_TRUE(csv.ParseRow("\"x,\"\"y\"\"\r\nz\",,-1.25,\"1.5\"", &row).ok());
  EXPECT_EQ(row.values[6].text(), "x,\"y\"\r\nz");
  EXPECT_TRUE(row.values[7].is_null()) << "an empty field is null";
  EXPECT_EQ(row.values[5].real(), -1.25) << "a raw OLE day count";
  EXPECT_EQ(row.values[9].decimal().magnitude[3], 150u);
  ASSERT_TRUE(csv.ParseRow("\"\",\"\",,", &row).ok());
  EXPECT_EQ(row.values[6].kind(), jet::Value::Kind::kText) << "\"\" is the empty text";
  EXPECT_EQ(row.values[7].kind(), jet::Value::Kind::kBinary);
}

TEST(RecordSplitterTest, CsvRecordsSpanQuotedLineEnds) {
  RecordSplitter splitter(OutputFormat::kCsv,
                          "\xEF\xBB\xBF"
                          "a,b\r\n\"1\n2\",3\n\n4,\"5\"\"\r\n\"\n");
  std::string_view record;
  size_t line = 0;
  std::vector<std::pair<std::string, size_t>> records;
  while (splitter.Next(&record, &line)) records.emplace_back(record, line);
  const std::vector<std::pair<std::string, size_t>> expected = {
      {"a,b", 1}, {"\"1\n2\",3", 2}, {"", 4}, {"4,\"5\"\"\r\n\"", 5}};
  EXPECT_EQ(records, expected);
}

struct BadCase {
  OutputFormat format;
  const char* record;  // CSV: after the header Count,Name,Price,When,Amount,Small
  const char* message_part;
};

class BadInputTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInputTest, FailsNamingWhatIsWrong) {
  const BadCase& c = GetParam();
  RowParser parser(c.format, EveryTypeTable());
  if (c.format == OutputFormat::kCsv) {
    ASSERT_TRUE(parser.ReadCsvHeader("Count,Name,Price,When,Amount,Small").ok());
  }
  jet::Row row;
  const jet::Status status = parser.ParseRow(c.record, &row);
  ASSERT_FALSE(status.ok()) << c.record;
  EXPECT_EQ(status.code(), jet::StatusCode::kInvalidArgument);
  EXPECT_NE(status.message().find(c.message_part), std::string::npos)
      << status.message() << " / wanted: " << c.message_part;
  EXPECT_NE(status.message().find("Samples"), std::string::npos) << "names the table";
}

constexpr OutputFormat kJson = OutputFormat::kJsonLines;
constexpr OutputFormat kCsv = OutputFormat::kCsv;

INSTANTIATE_TEST_SUITE_P(
    Table, BadInputTest,
    ::testing::Values(
        BadCase{kJson, R"({"Nope":1})", "no column \"Nope\""},
        BadCase{kJson, R"({"Count":1,"count":2})", "column Count: given twice"},
        BadCase{kJson, R"({"Count":"12"})", "column Count (Long): \"12\" is not a whole number"},
        BadCase{kJson, R"({"Count":1.5})", "column Count (Long): 1.5 is not a whole number"},
        BadCase{kJson, R"({"Count":2147483648})", "2147483648 is outside"},
        BadCase{kJson, R"({"Small":-1})", "column Small (Byte): -1 is outside 0..255"},
        BadCase{kJson, R"({"Price":"1.23456"})", "column Price (Currency): \"1.23456\" has more"},
        BadCase{kJson, R"({"Price":"922337203685477.5808"})", "too large"},
        BadCase{kJson, R"({"Amount":"10000"})", "column Amount (Numeric): \"10000\" is too large"},
        BadCase{kJson, R"({"Ratio":1e39})", "column Ratio (Single): 1e39 is out of range"},
        BadCase{kJson, R"({"Flag":1})", "column Flag (Boolean): 1 is not true or false"},
        BadCase{kJson, R"({"When":"2010-02-30T00:00:00"})",
                "\"2010-02-30T00:00:00\" is not a date"},
        BadCase{kJson, R"({"Name":12})", "column Name (Text): 12 is not text"},
        BadCase{kJson, R"({"Blob":"abc"})", "odd number of hex digits"},
        BadCase{kJson, R"({"Id":"{0001-02}"})", "column Id (GUID): \"{0001-02}\" is not a GUID"},
        BadCase{kJson, R"({"Name":[1]})", "column Name: an object or array"},
        BadCase{kJson, R"({"Name":"\ud800"})", "half a surrogate pair"},
        BadCase{kJson, R"({"Count":01})", "a malformed number"},
        BadCase{kJson, R"({"Count":1} x)", "text after the closing }"},
        BadCase{kJson, R"([1])", "no opening {"},
        BadCase{kJson, "{\"Name\":\"\xC3\"}", "not valid UTF-8"},
        BadCase{kCsv, "1,a,2", "3 fields where the header names 6"},
        BadCase{kCsv, "1,\"a,2,,,", "column Name: a quoted field without its closing quote"},
        BadCase{kCsv, "1,\"a\"b,2,,,", "column Name: text after a closing quote"},
        BadCase{kCsv, "1,a\"b,2,,,", "column Name: a quote inside the unquoted field a\"b"},
        BadCase{kCsv, "x,a,,,,", "column Count (Long): \"x\" is not a whole number"},
        BadCase{kCsv, "1,a,,2010-01-01T25:00:00,,", "is not a date"},
        BadCase{kCsv, "1,a,,,1.001,", "column Amount (Numeric): \"1.001\" has more than 2 digits"},
        BadCase{kCsv, "1,\xFF,,,,", "column Name (Text): \"\xFF\" is not valid UTF-8"},
        BadCase{kCsv, "1,a,,,,\"\"", "column Small (Byte): \"\" is not a whole number"}));

TEST(RowParserTest, CsvHeaderMustNameColumnsOnce) {
  RowParser parser(OutputFormat::kCsv, EveryTypeTable());
  EXPECT_NE(parser.ReadCsvHeader("Count,Missing").message().find("no column \"Missing\""),
            std::string::npos);
  EXPECT_NE(parser.ReadCsvHeader("Count,COUNT").message().find("given twice"), std::string::npos);
}

}  // namespace
}  // namespace jetdb
