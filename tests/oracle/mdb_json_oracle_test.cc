// Reads every user table of every shared .mdb file twice, with `jetdb export`
// and with mdbtools' `mdb-json` (an independent reader), and compares the
// rows value by value. Only formatting is normalised; each place where
// mdb-json is known to print something other than the stored value is
// listed below with its reason, and accepted only in exactly that shape.
//
// One test per file; a failure lists every mismatching table, row and
// column. Row order is compared too: both readers walk the table's pages in
// page order and each page's rows in slot order.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "jet/database.h"
#include "jet/format/format.h"
#include "jet/index/index_page.h"
#include "jet/pager/page_file.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace {

namespace fs = std::filesystem;
using tessaly::testing::ProcessResult;
using tessaly::testing::RunProcess;
using tessaly::testing::SharedPath;

const std::string kJetdb = std::string(TESSALY_BIN_DIR) + "/jetdb";
// mdb-json's date/time format, chosen to be ours so that dates compare as text.
constexpr const char* kMdbDateFormat = "%Y-%m-%dT%H:%M:%S";
// mdbtools fills a zeroed struct tm and prints it unchanged for dates it does
// not convert: before 1899-12-30 (negative day numbers) and past day 1,000,000.
constexpr const char* kMdbUnconvertedDate = "1900-01-00T00:00:00";
constexpr size_t kMaxReportsPerTable = 25;

// One JSON scalar with its text as written, so that numbers compare exactly.
struct Scalar {
  enum class Type { kNull, kBool, kNumber, kString, kBinary };
  Type type = Type::kNull;
  bool boolean = false;
  std::string text;  // number token, string value, or base64 for $binary
};

using FlatRow = std::vector<std::pair<std::string, Scalar>>;

// Parses one line holding a flat JSON object. mdb-json writes binary values
// as {"$binary": "<base64>", "$type": "00"}; that nested object becomes one
// kBinary scalar.
class FlatRowParser : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool Parse(const std::string& line, FlatRow* row, std::string* error) {
    row_ = row;
    row_->clear();
    depth_ = 0;
    error_.clear();
    const bool ok = nlohmann::json::sax_parse(line, this);
    if (!ok && error != nullptr) *error = error_.empty() ? "not a JSON object" : error_;
    return ok && error_.empty();
  }

  bool null() override { return Add(Scalar{}); }
  bool boolean(bool value) override { return Add({Scalar::Type::kBool, value, {}}); }
  bool number_integer(number_integer_t value) override {
    return Add({Scalar::Type::kNumber, false, std::to_string(value)});
  }
  bool number_unsigned(number_unsigned_t value) override {
    return Add({Scalar::Type::kNumber, false, std::to_string(value)});
  }
  bool number_float(number_float_t, const string_t& text) override {
    return Add({Scalar::Type::kNumber, false, text});
  }
  bool string(string_t& value) override {
    if (depth_ == 2) {
      if (inner_key_ == "$binary") row_->back().second.text = value;
      return true;
    }
    return Add({Scalar::Type::kString, false, value});
  }
  bool binary(binary_t&) override { return Fail("unexpected binary value"); }
  bool start_object(std::size_t) override {
    if (++depth_ > 2) return Fail("nested deeper than a $binary object");
    if (depth_ == 2) row_->emplace_back(pending_key_, Scalar{Scalar::Type::kBinary, false, {}});
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override { return Fail("unexpected array"); }
  bool end_array() override { return false; }
  bool key(string_t& value) override {
    if (depth_ == 1) {
      pending_key_ = value;
    } else {
      inner_key_ = value;
    }
    return true;
  }
  bool parse_error(std::size_t position, const std::string& token,
                   const nlohmann::detail::exception& e) override {
    error_ =
        "parse error at byte " + std::to_string(position) + " near '" + token + "': " + e.what();
    return false;
  }

 private:
  bool Add(Scalar value) {
    if (depth_ != 1) return Fail("value outside the row object");
    row_->emplace_back(pending_key_, std::move(value));
    return true;
  }
  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }

  FlatRow* row_ = nullptr;
  int depth_ = 0;
  std::string pending_key_;
  std::string inner_key_;
  std::string error_;
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::optional<std::string> DecodeBase64(const std::string& text) {
  std::string out;
  uint32_t bits = 0;
  int bit_count = 0;
  for (const char c : text) {
    int value;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (c >= '0' && c <= '9') value = c - '0' + 52;
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    else if (c == '=') break;
    else return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      out.push_back(static_cast<char>((bits >> bit_count) & 0xFF));
    }
  }
  return out;
}

std::string ToHex(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out.push_back(kHex[static_cast<unsigned char>(c) >> 4]);
    out.push_back(kHex[static_cast<unsigned char>(c) & 0x0F]);
  }
  return out;
}

std::string WithoutDashes(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
  return text;
}

// printf-style text of a number, as mdbtools prints floating types.
std::string Printf(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string DescribeInFull(const Scalar* value) {
  if (value == nullptr) return "(absent)";
  switch (value->type) {
    case Scalar::Type::kNull: return "null";
    case Scalar::Type::kBool: return value->boolean ? "true" : "false";
    case Scalar::Type::kNumber: return value->text;
    case Scalar::Type::kString:
      return nlohmann::json(value->text)
          .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    case Scalar::Type::kBinary: return "{$binary " + value->text + "}";
  }
  return "?";
}

// A value for the failure report, cut short: OLE values run to kilobytes.
std::string Describe(const Scalar* value) {
  constexpr size_t kMaxLength = 120;
  std::string text = DescribeInFull(value);
  if (text.size() > kMaxLength) text = text.substr(0, kMaxLength) + "...";
  return text;
}

const Scalar* Find(const FlatRow& row, const std::string& key) {
  for (const auto& [name, value] : row) {
    if (name == key) return &value;
  }
  return nullptr;
}

// Compares one value; returns an empty string when they agree, otherwise why not.
std::string CompareValue(const jet::ColumnDef& column, const Scalar& ours, const Scalar* theirs) {
  using Type = Scalar::Type;
  const bool ours_empty = ours.type == Type::kString && ours.text.empty();
  // mdb-json prints a column only when its bound length is non-zero, so a
  // zero-length text or binary value is left out exactly like a null. Here
  // the oracle cannot tell empty from null; the engine's row tests do.
  if (theirs == nullptr) {
    return ours.type == Type::kNull || ours_empty ? "" : "mdb-json has no value";
  }
  if (ours.type == Type::kNull) return "jetdb says null";

  switch (column.type) {
    case jet::ColumnType::kBoolean:
      if (ours.type == Type::kBool && theirs->type == Type::kNumber &&
          theirs->text == (ours.boolean ? "1" : "0")) {
        return "";
      }
      break;
    case jet::ColumnType::kByte:
    case jet::ColumnType::kInteger:
    case jet::ColumnType::kLong:
      if (ours.type == Type::kNumber && theirs->type == Type::kNumber &&
          ours.text == theirs->text) {
        return "";
      }
      break;
    case jet::ColumnType::kSingle:
    case jet::ColumnType::kDouble: {
      // mdbtools prints Single with %.8g and Double with %.16g, one digit short
      // of a round trip: print our value the same way and compare the numbers.
      if (ours.type != Type::kNumber || theirs->type != Type::kNumber) break;
      const double value = std::strtod(ours.text.c_str(), nullptr);
      const std::string as_mdb = column.type == jet::ColumnType::kSingle
                                     ? Printf("%.8g", static_cast<float>(value))
                                     : Printf("%.16g", value);
      if (std::strtod(as_mdb.c_str(), nullptr) == std::strtod(theirs->text.c_str(), nullptr))
        return "";
      break;
    }
    case jet::ColumnType::kCurrency:
    case jet::ColumnType::kNumeric:
      // Both exact decimals: ours a string, mdb-json's a bare number token.
      if (ours.type == Type::kString && theirs->type == Type::kNumber &&
          ours.text == theirs->text) {
        return "";
      }
      break;
    case jet::ColumnType::kDateTime: {
      if (theirs->type != Type::kString) break;
      if (ours.type == Type::kString && ours.text == theirs->text) return "";
      // mdbtools leaves day numbers below 0 and above 1,000,000 unconverted;
      // accept its placeholder only where our date lies in those ranges (a
      // date past the year 9999 we write as its raw day count).
      if (theirs->text == kMdbUnconvertedDate &&
          (ours.type == Type::kNumber ||
           (ours.type == Type::kString &&
            (ours.text < "1899-12-30" || ours.text > "4637-11-26T00:00:00")))) {
        return "";
      }
      break;
    }
    case jet::ColumnType::kText:
    case jet::ColumnType::kMemo:
      if (ours.type == Type::kString && theirs->type == Type::kString &&
          ours.text == theirs->text) {
        return "";
      }
      break;
    case jet::ColumnType::kBinary:
    case jet::ColumnType::kOle: {
      if (ours.type != Type::kString || theirs->type != Type::kBinary) break;
      const std::optional<std::string> bytes = DecodeBase64(theirs->text);
      if (bytes && ToHex(*bytes) == ours.text) return "";
      break;
    }
    case jet::ColumnType::kGuid: {
      // mdbtools writes the GUID as text, {8-4-4-16} without the fourth
      // hyphen, and then base64-encodes that text as a binary value.
      if (ours.type != Type::kString || theirs->type != Type::kBinary) break;
      const std::optional<std::string> text = DecodeBase64(theirs->text);
      if (text && WithoutDashes(*text) == WithoutDashes(ours.text)) return "";
      break;
    }
  }
  return "values differ";
}

struct TableReport {
  std::vector<std::string> lines;
  size_t count = 0;

  void Add(std::string line) {
    if (++count <= kMaxReportsPerTable) lines.push_back(std::move(line));
  }
};

// Compares one table; appends problems to *report.
void CompareTable(const std::string& file, const jet::TableDef& table, TableReport* report) {
  const ProcessResult theirs = RunProcess({"mdb-json", "-T", kMdbDateFormat, file, table.name});
  if (theirs.exit_code != 0) {
    report->Add("mdb-json failed (" + std::to_string(theirs.exit_code) + "): " + theirs.error +
                theirs.err);
    return;
  }
  const ProcessResult ours = RunProcess({kJetdb, "export", file, table.name, "--format", "jsonl"});
  if (ours.exit_code != 0) {
    report->Add("jetdb export failed (" + std::to_string(ours.exit_code) + "): " + ours.error +
                ours.err);
    return;
  }
  const std::vector<std::string> their_lines = SplitLines(theirs.out);
  const std::vector<std::string> our_lines = SplitLines(ours.out);
  if (their_lines.size() != our_lines.size()) {
    report->Add("row count: mdb-json " + std::to_string(their_lines.size()) + ", jetdb " +
                std::to_string(our_lines.size()));
  }

  FlatRowParser parser;
  FlatRow their_row;
  FlatRow our_row;
  const size_t rows = std::min(their_lines.size(), our_lines.size());
  for (size_t row_index = 0; row_index < rows; ++row_index) {
    const std::string where = "row " + std::to_string(row_index);
    std::string error;
    if (!parser.Parse(our_lines[row_index], &our_row, &error)) {
      report->Add(where + ": jetdb wrote invalid JSON (" + error + "): " + our_lines[row_index]);
      continue;
    }
    if (!parser.Parse(their_lines[row_index], &their_row, &error)) {
      report->Add(where + ": cannot parse mdb-json's line (" + error +
                  "): " + their_lines[row_index]);
      continue;
    }
    if (our_row.size() != table.columns.size()) {
      report->Add(where + ": jetdb wrote " + std::to_string(our_row.size()) + " keys for " +
                  std::to_string(table.columns.size()) + " columns");
    }
    for (const auto& [key, value] : their_row) {
      if (table.FindColumn(key) == nullptr)
        report->Add(where + ": mdb-json has unknown column " + key);
    }
    for (size_t i = 0; i < table.columns.size() && i < our_row.size(); ++i) {
      const jet::ColumnDef& column = table.columns[i];
      if (our_row[i].first != column.name) {
        report->Add(where + ": jetdb key " + std::to_string(i) + " is " + our_row[i].first +
                    ", expected " + column.name);
        continue;
      }
      const Scalar* their_value = Find(their_row, column.name);
      const std::string why = CompareValue(column, our_row[i].second, their_value);
      if (!why.empty()) {
        report->Add(where + " column " + column.name + " (" + jet::ColumnTypeName(column.type) +
                    "): " + why + ": mdb-json " + Describe(their_value) + ", jetdb " +
                    Describe(&our_row[i].second));
      }
    }
  }
}

struct DatabaseFile {
  std::string folder;  // "corpus" or "fixtures"
  std::string name;
};

void PrintTo(const DatabaseFile& file, std::ostream* out) {
  *out << file.folder << "/" << file.name;
}

std::vector<DatabaseFile> ListDatabases() {
  std::vector<DatabaseFile> files;
  for (const char* folder : {"corpus", "fixtures"}) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(SharedPath(folder), error)) {
      if (entry.path().extension() == ".mdb")
        files.push_back({folder, entry.path().filename().string()});
    }
  }
  std::sort(files.begin(), files.end(), [](const DatabaseFile& a, const DatabaseFile& b) {
    return a.folder != b.folder ? a.folder < b.folder : a.name < b.name;
  });
  // An empty list would instantiate no test at all and pass silently.
  if (files.empty()) files.push_back({"missing", "no .mdb files in " + SharedPath("").string()});
  return files;
}

std::string TestName(const ::testing::TestParamInfo<DatabaseFile>& info) {
  std::string name = info.param.folder + "_" + info.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

class MdbJsonOracleTest : public ::testing::TestWithParam<DatabaseFile> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tessaly::testing::ProgramExists("mdb-json"))
        << "mdb-json is not installed: the oracle needs the Debian package mdbtools";
    ASSERT_TRUE(tessaly::testing::ProgramExists("mdb-tables"))
        << "mdb-tables is not installed: the oracle needs the Debian package mdbtools";
    ASSERT_TRUE(tessaly::testing::ProgramExists(kJetdb)) << "jetdb is not built: " << kJetdb;
    const DatabaseFile& param = GetParam();
    const fs::path source = tessaly::testing::SharedPath(param.folder, param.name);
    ASSERT_TRUE(fs::is_regular_file(source)) << "missing test file " << source;
    // Work on a copy; the shared files are never opened.
    copy_.emplace(param.folder, param.name);
  }

  std::optional<tessaly::testing::SharedFileCopy> copy_;
};

TEST_P(MdbJsonOracleTest, EveryTableMatches) {
  const std::string file = copy_->path().string();
  const ProcessResult listed = RunProcess({"mdb-tables", "-1", file});
  ASSERT_EQ(listed.exit_code, 0) << "mdb-tables failed: " << listed.error << listed.err;
  std::vector<std::string> their_tables;
  for (const std::string& line : SplitLines(listed.out)) {
    if (!line.empty()) their_tables.push_back(line);
  }

  const ProcessResult our_listing = RunProcess({kJetdb, "tables", file});
  ASSERT_EQ(our_listing.exit_code, 0)
      << "jetdb tables failed: " << our_listing.error << our_listing.err;
  const std::vector<std::string> our_tables = SplitLines(our_listing.out);
  EXPECT_EQ(std::multiset<std::string>(our_tables.begin(), our_tables.end()),
            std::multiset<std::string>(their_tables.begin(), their_tables.end()))
      << "user tables differ";

  auto db = jet::Database::Open(file);
  ASSERT_TRUE(db.ok()) << db.status().ToString();

  std::string failures;
  size_t compared_tables = 0;
  for (const std::string& table_name : their_tables) {
    auto table = (*db)->GetTable(table_name);
    if (!table.ok()) {
      failures += "table " + table_name + ": " + table.status().ToString() + "\n";
      continue;
    }
    TableReport report;
    CompareTable(file, *table, &report);
    ++compared_tables;
    if (report.count == 0) continue;
    failures += "table " + table_name + ": " + std::to_string(report.count) + " problem(s)\n";
    for (const std::string& line : report.lines) failures += "  " + line + "\n";
    if (report.count > report.lines.size()) {
      failures += "  ... and " + std::to_string(report.count - report.lines.size()) + " more\n";
    }
  }
  EXPECT_EQ(compared_tables, their_tables.size());
  EXPECT_TRUE(failures.empty()) << GetParam().folder << "/" << GetParam().name << ":\n" << failures;
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, MdbJsonOracleTest, ::testing::ValuesIn(ListDatabases()),
                         TestName);

// ---- Rows written into Access 97 files ----
//
// 400 rows imported by `jetdb import` into every table of every Jet 3 file
// (a copy): mdb-json then reads every row of the table as jetdb does (the
// comparison above), jetdb's export holds exactly the rows given besides the
// old ones, `jetdb check` finds nothing, and jetcheck finds every row through
// every index but a text one (it does not build every Access 97 text key as
// Access does; our keys are proven against Access's in index_key_test.cc).
//
// Values: a number from the row's index, so that unique indexes accept them;
// text in code page 1252 beyond ASCII, some at the column's full length;
// memo and OLE values inline, in one long-value row and in a chain.

std::string Repeat(std::string_view unit, size_t bytes) {
  std::string out;
  while (out.size() < bytes) out += unit;
  return out;
}

// The row's value for `column` as jetdb export writes it in JSON. A text
// takes at most `text_room` characters, so that a row of many text columns
// still fits an Access 97 page.
nlohmann::json ImportValue(const jet::ColumnDef& column, int r, size_t text_room) {
  using T = jet::ColumnType;
  char text[64];
  switch (column.type) {
    case T::kBoolean: return r % 2 == 1;
    case T::kByte: return r % 256;
    case T::kInteger: return 20000 + r;
    case T::kLong: return (column.IsLongAutoNumber() ? 900000 : 5000000) + 7 * r;
    case T::kCurrency: std::snprintf(text, sizeof text, "%d.2500", r); return text;
    case T::kSingle: return r + 0.5;
    case T::kDouble: return r + 0.25;
    case T::kDateTime:
      std::snprintf(text, sizeof text, "2009-%02d-%02dT%02d:%02d:00", 1 + r % 12, 1 + r % 28,
                    r % 24, r % 60);
      return text;
    case T::kText: {
      const size_t length = std::min<size_t>(column.length == 0 ? 255 : column.length, text_room);
      std::string value = "Zeile " + std::to_string(r) + " \xC3\xA9t\xC3\xA9 \xE2\x82\xAC\xC3\x86";
      if (r % 5 == 0) value += Repeat("x\xC3\xBC", 2 * length);
      // Cut to the column's length in characters (every one of them is one
      // byte in code page 1252), never inside a character.
      size_t chars = 0, at = 0;
      while (at < value.size() && chars < length) {
        ++chars;
        ++at;
        while (at < value.size() && (static_cast<unsigned char>(value[at]) & 0xC0) == 0x80) ++at;
      }
      return value.substr(0, at);
    }
    case T::kMemo: {
      const size_t sizes[] = {20, 1500, 5000};
      return "Memo " + std::to_string(r) + " " + Repeat("\xC3\xA0 la ligne ", sizes[r % 3]);
    }
    case T::kBinary:
    case T::kOle: {
      const size_t length = column.type == T::kBinary ? (column.length == 0 ? 255 : column.length)
                                                      : std::vector<size_t>{10, 1800, 4100}[r % 3];
      std::string hex;
      for (size_t i = 0; i < length && i < 4100; ++i) {
        std::snprintf(text, sizeof text, "%02x", static_cast<unsigned>((r + i) % 256));
        hex += text;
      }
      return hex;
    }
    case T::kGuid:
      std::snprintf(text, sizeof text, "{%08X-%04X-4000-8000-%012X}", 0x5EED0000u + r, r % 7,
                    static_cast<unsigned>(r * 7919));
      return text;
    default: return nullptr;  // Numeric: Access 97 has none
  }
}

// Index names whose columns include a text or memo column.
std::set<std::string> TextIndexNames(const jet::TableDef& table) {
  std::set<std::string> names;
  for (const jet::IndexDef& index : table.indexes) {
    for (const jet::IndexColumnDef& ic : index.columns) {
      for (const jet::ColumnDef& c : table.columns) {
        if (c.column_number == ic.column_number &&
            (c.type == jet::ColumnType::kText || c.type == jet::ColumnType::kMemo)) {
          names.insert(index.name);
        }
      }
    }
  }
  return names;
}

std::multiset<std::string> CanonicalRows(const std::string& jsonl) {
  std::multiset<std::string> rows;
  for (const std::string& line : SplitLines(jsonl)) {
    if (!line.empty()) rows.insert(nlohmann::json::parse(line).dump());
  }
  return rows;
}

// Index names of `table` whose tree has a node page of two entries or more.
// jetcheck reads a Jet 3 page's prefix length as two bytes, so the node
// marker Access puts in the second makes it misread every entry of such a
// page after the first.
std::set<std::string> IndexesWithWideNodes(const std::string& file, const jet::TableDef& table) {
  std::set<std::string> names;
  auto image = jet::ReadWholeFile(file);
  if (!image.ok()) return names;
  const jet::Format& format = jet::kJet3Format;
  for (const jet::IndexDef& index : table.indexes) {
    std::vector<uint32_t> pages = {index.root_page};
    for (size_t k = 0; k < pages.size() && k < 10000; ++k) {
      const size_t at = size_t{pages[k]} * format.page_size;
      if (at + format.page_size > image->size()) break;
      jet::IndexPage page;
      if (!jet::DecodeIndexPage(format, reinterpret_cast<const uint8_t*>(image->data()) + at,
                                pages[k], &page)
               .ok() ||
          page.leaf) {
        continue;
      }
      if (page.entries.size() >= 2) names.insert(index.name);
      for (const jet::IndexEntry& e : page.entries) pages.push_back(e.child);
      if (page.tail_page != 0) pages.push_back(page.tail_page);
    }
  }
  return names;
}

class Jet3ImportTest : public ::testing::TestWithParam<std::string> {};

TEST_P(Jet3ImportTest, FourHundredRowsPerTableReadBackByMdbtools) {
  ASSERT_TRUE(tessaly::testing::ProgramExists("mdb-json"));
  ASSERT_TRUE(tessaly::testing::ProgramExists(kJetdb)) << "jetdb is not built: " << kJetdb;
  tessaly::testing::SharedFileCopy copy("corpus", GetParam());
  const std::string file = copy.path().string();
  std::vector<std::string> names;
  {
    auto db = jet::Database::Open(file);
    ASSERT_TRUE(db.ok()) << db.status().ToString();
    ASSERT_EQ((*db)->info().version, jet::JetVersion::kJet3);
    auto listed = (*db)->UserTableNames();
    ASSERT_TRUE(listed.ok());
    // Last to first: indexTestV1997's Table1 refers to Table2 and Table3
    // through enforced relationships, and its links (every Long column gets
    // the same values) find their rows once those tables have them.
    names.assign(listed->rbegin(), listed->rend());
  }
  constexpr int kRows = 400;
  std::map<std::string, std::set<std::string>> text_indexes, wide_indexes;
  size_t tables = 0;
  for (const std::string& name : names) {
    jet::TableDef table;
    {
      auto db = jet::Database::Open(file);
      ASSERT_TRUE(db.ok());
      auto t = (*db)->GetTable(name);
      ASSERT_TRUE(t.ok()) << name;
      table = *t;
    }
    text_indexes[name] = TextIndexNames(table);
    size_t texts = 0;
    for (const jet::ColumnDef& c : table.columns) texts += c.type == jet::ColumnType::kText;
    const size_t text_room = std::max<size_t>(12, 1500 / std::max<size_t>(texts, 1));
    const std::string input = copy.dir().string() + "/rows.jsonl";
    std::multiset<std::string> expected =
        CanonicalRows(RunProcess({kJetdb, "export", file, name}).out);
    {
      std::ofstream out(input, std::ios::binary | std::ios::trunc);
      for (int r = 0; r < kRows; ++r) {
        nlohmann::json row = nlohmann::json::object();
        for (const jet::ColumnDef& c : table.columns) row[c.name] = ImportValue(c, r, text_room);
        out << row.dump() << "\n";
        expected.insert(row.dump());
      }
    }
    const ProcessResult imported = RunProcess({kJetdb, "import", file, name, input});
    ASSERT_EQ(imported.exit_code, 0) << name << ": " << imported.err << imported.error;
    const ProcessResult exported = RunProcess({kJetdb, "export", file, name});
    ASSERT_EQ(exported.exit_code, 0) << exported.err;
    EXPECT_TRUE(CanonicalRows(exported.out) == expected) << name << ": the rows read back differ";

    wide_indexes[name] = IndexesWithWideNodes(file, table);
    TableReport report;
    CompareTable(file, table, &report);
    std::string lines;
    for (const std::string& line : report.lines) lines += "  " + line + "\n";
    EXPECT_EQ(report.count, 0u) << name << ":\n" << lines;
    ++tables;
  }
  const ProcessResult check = RunProcess({kJetdb, "check", file});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;

  // jetcheck: each table's count, and every index found whole but the text
  // ones and those with wide node pages (see IndexesWithWideNodes).
  const ProcessResult jetcheck = RunProcess({SharedPath("oracle", "jetcheck").string(), file});
  if (jetcheck.exit_code != 0 && jetcheck.out.find("table ") == std::string::npos) {
    GTEST_SKIP() << "jetcheck did not run: " << jetcheck.err << jetcheck.error;
  }
  std::string table_name;
  size_t indexes_ok = 0, text_skipped = 0, wide_skipped = 0;
  for (const std::string& line : SplitLines(jetcheck.out)) {
    if (line.rfind("table ", 0) == 0) {
      table_name = line.substr(6, line.find(" rows=") - 6);
      const std::string rows =
          line.substr(line.find(" rows=") + 6, line.find(" declared=") - line.find(" rows=") - 6);
      EXPECT_EQ(line.substr(line.find(" declared=") + 10), rows) << line;
    } else if (line.rfind("  index ", 0) == 0) {
      // "  index NAME entries=N ok" or "... KEYS NOT FOUND n", "  index NAME
      // cannot find ...", "  index NAME FAILED ..."
      std::string index = line.substr(8);
      for (const char* end : {" entries=", " cannot ", " FAILED"}) {
        index = index.substr(0, index.find(end));
      }
      if (line.size() >= 3 && line.substr(line.size() - 3) == " ok") {
        ++indexes_ok;
      } else if (text_indexes[table_name].count(index) != 0) {
        text_skipped += line.find(" cannot ") == std::string::npos;
      } else if (wide_indexes[table_name].count(index) != 0) {
        wide_skipped += line.find(" cannot ") == std::string::npos;
      } else {
        ADD_FAILURE() << "jetcheck: " << table_name << ": " << line;
      }
    }
  }
  std::printf(
      "%s: %zu tables x %d rows imported; jetcheck: %zu indexes ok; not read by it:"
      " %zu text indexes, %zu with wide node pages\n",
      GetParam().c_str(), tables, kRows, indexes_ok, text_skipped, wide_skipped);
}

std::vector<std::string> Jet3Files() {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(SharedPath("corpus"), error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 9 && name.substr(name.size() - 9) == "V1997.mdb") files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) files.push_back("no Access 97 files in corpus");
  return files;
}

INSTANTIATE_TEST_SUITE_P(Jet3Files, Jet3ImportTest, ::testing::ValuesIn(Jet3Files()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.substr(0, info.param.find('.'));
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
