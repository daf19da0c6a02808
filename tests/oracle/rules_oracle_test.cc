// The rules Access keeps on every write (default values, Required,
// AllowZeroLength, validation rules), checked against an independent
// library: the same writes on two copies of a corpus file, one through our
// engine, one through tests/oracle/RuleOracle.java, must be accepted or
// refused alike and leave the same rows. Our refusals carry Access's error
// number and leave the file byte for byte.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/expression.h"
#include "support/files.h"
#include "support/rule_oracle.h"
#include "support/shared_copy.h"
#include "tools/jetdb/parse.h"

namespace {

namespace fs = std::filesystem;
using tessaly::testing::FileBytes;
using tessaly::testing::RunRuleOracle;
using tessaly::testing::SharedFileCopy;

struct RuleCase {
  const char* file;   // in ../shared
  const char* setup;  // property commands the oracle applies first (to both copies' origin)
  // One write a line, then after " # " the Access error our engine gives
  // (0: accepted).
  const char* writes;
  const char* tables;                 // dumped and compared afterwards, blank-separated
  const char* volatile_columns = "";  // values of the time of the write, not compared
  // Access 97 files, which the library does not write: no comparison, but
  // these rows must be in our file ("" for a comparison).
  const char* our_rows = "";
};

const RuleCase kCases[] = {
    {"fixtures/tessdata-designed.mdb", "",
     R"(insert Events {"EventName": "Lent", "AllDayEvent": true} # 0
insert Events {"EventName": "Late", "Priority": 9} # 3316
insert Events {"EventName": "Low", "Priority": 5, "Category": 3} # 0
insert Events {"Priority": 2} # 3314
insert Events {"EventName": ""} # 0
insert Dates {"DateKey": "2010-07-04T00:00:00", "DateColor": "Red"} # 0
update Dates {"DateKey": "2010-01-01T00:00:00"} {"EventCount": -5} # 3316
update Dates {"DateKey": "2010-01-01T00:00:00"} {"EventCount": 7, "Season": "Christmas"} # 0
update Events {"EventName": "Low"} {"Priority": 0} # 3316
update Events {"EventName": "Low"} {"EventName": null} # 3314)",
     "Dates Events", "Created"},
    // AllowZeroLength No on text, DefaultValue 0 on numbers (Access 2000).
    {"corpus/testV2000.mdb", "",
     R"(insert Table1 {"A": "", "I": false} # 3315
insert Table1 {"A": "a1", "B": "", "I": true} # 3315
insert Table1 {"A": "a2", "I": true} # 0
insert Table1 {"A": "a3", "D": 7, "I": false} # 0
update Table1 {"A": "a2"} {"B": ""} # 3315)",
     "Table1"},
    // Access 97: AllowZeroLength No on a key column.
    {"corpus/testIndexCodesV1997.mdb", "",
     R"(insert Table1 {"name": "", "data": "x"} # 3315
insert Table1 {"name": "zz-new", "data": ""} # 3315
insert Table1 {"name": "zz-new", "data": "d"} # 0)",
     "Table1", "", R"(row {"name": "zz-new", "data": "d"})"},
    // Defaults 0 on the referenced tables of enforced relationships.
    {"corpus/indexTestV2000.mdb", "",
     R"(insert Table3 {"data": "three"} # 0
insert Table2 {"id": 5} # 0)",
     "Table2 Table3"},
    {"corpus/indexTestV1997.mdb", "", R"(insert Table3 {"data": "three"} # 0)", "Table3", "",
     R"(row {"id": 0, "data": "three"})"},
    // Rules and defaults written by the oracle into a file Access made: a
    // column rule with and without its text, a table rule, Required,
    // AllowZeroLength, and default expressions.
    {"corpus/indexTestV2000.mdb",
     R"(property Table2 data ValidationRule Like "a*" Or Like "c*"
property Table2 data ValidationText Starts with a.
property Table3 data ValidationRule Len([data]) < 6
property Table3 * ValidationRule [id] <> 24 Or [data] Like "bar*"
property Table3 data DefaultValue ="ab" & "c"
property Table3 data AllowZeroLength false)",
     R"(insert Table2 {"id": 11, "data": "apple"} # 0
insert Table2 {"id": 12, "data": "banana"} # 3316
insert Table2 {"id": 14, "data": "cherry"} # 0
update Table2 {"id": 11} {"data": "Avocado"} # 0
insert Table3 {"id": 21} # 0
insert Table3 {"id": 22, "data": "toolong"} # 3317
insert Table3 {"id": 24, "data": "x"} # 3317
insert Table3 {"id": 25, "data": ""} # 3315
update Table3 {"id": 21} {"data": "bar21"} # 0
update Table3 {"id": 21} {"id": 23} # 0
update Table3 {"id": 12} {"data": "b12"} # 0)",
     "Table2 Table3"},
};

// "insert T {...}" -> command, table, and the JSON objects that follow.
struct Write {
  std::string command, table;
  std::vector<std::string> objects;
  int expected = 0;
};

Write ParseWrite(const std::string& line) {
  Write w;
  const size_t mark = line.rfind(" # ");
  w.expected = std::stoi(line.substr(mark + 3));
  std::istringstream words(line.substr(0, mark));
  words >> w.command >> w.table;
  std::string rest;
  std::getline(words, rest);
  // Objects end at a "}" outside a string.
  bool in_string = false;
  size_t start = std::string::npos;
  for (size_t i = 0; i < rest.size(); ++i) {
    const char c = rest[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{') {
      start = i;
    } else if (c == '}') {
      w.objects.push_back(rest.substr(start, i - start + 1));
    }
  }
  return w;
}

// Applies one write with our engine, as its own unit.
jet::Status ApplyWrite(const fs::path& file, const Write& w) {
  jet::OpenOptions options;
  options.read_only = false;
  options.sync = false;
  auto db = jet::Database::Open(file.string(), options);
  if (!db.ok()) return db.status();
  auto table = (*db)->GetTable(w.table);
  if (!table.ok()) return table.status();
  jetdb::RowParser parser(jetdb::OutputFormat::kJsonLines, *table);
  jet::Row given;
  JET_RETURN_IF_ERROR(parser.ParseRow(w.objects.at(0), &given));
  jet::Status status;
  if (w.command == "insert") {
    status = (*db)->Insert(*table, given.values, parser.named()).status();
  } else {
    const std::vector<bool> match = parser.named();
    jet::Row changes;
    JET_RETURN_IF_ERROR(parser.ParseRow(w.objects.at(1), &changes));
    std::vector<jet::ColumnChange> change_list;
    for (size_t i = 0; i < table->columns.size(); ++i) {
      if (parser.named()[i]) change_list.push_back({i, changes.values[i]});
    }
    std::vector<jet::RowId> ids;
    auto cursor = (*db)->Scan(*table);
    jet::Row row;
    jet::Status scan;
    while ((*cursor)->Next(&row, &scan)) {
      bool same = true;
      for (size_t i = 0; i < match.size(); ++i) {
        same = same && (!match[i] || jet::VariantText(jet::Variant::Of(row.values[i])) ==
                                         jet::VariantText(jet::Variant::Of(given.values[i])));
      }
      if (same) ids.push_back({row.page, row.slot});
    }
    JET_RETURN_IF_ERROR(scan);
    for (const jet::RowId& id : ids) {
      status = (*db)->Update(*table, id, change_list);
      if (!status.ok()) break;
    }
  }
  const jet::Status closed = (*db)->Close();
  return status.ok() ? closed : status;
}

// The Access error of a write (0 accepted); -1 with *failure set when it
// failed otherwise.
int AccessErrorOf(const jet::Status& status, std::string* failure) {
  if (status.ok()) return 0;
  *failure = status.ToString();
  return status.access_error() == 0 ? -1 : status.access_error();
}

// "dump T" for each table.
std::string DumpCommands(const std::string& tables) {
  std::string commands;
  std::istringstream names(tables);
  for (std::string t; names >> t;) commands += "dump " + t + "\n";
  return commands;
}

// The rows the helper printed from line *at up to the end of `tables`
// dumps, with the values of volatile columns blanked.
std::string TakeDump(const std::vector<std::string>& lines, size_t* at, const std::string& tables,
                     const std::string& volatile_columns) {
  std::string dump;
  std::istringstream names(tables);
  for (std::string t; names >> t;) {
    for (; *at < lines.size(); ++*at) {
      std::string line = lines[*at];
      std::istringstream columns(volatile_columns);
      for (std::string c; columns >> c;) {
        line = std::regex_replace(line, std::regex("\"" + c + "\": (\"[^\"]*\"|[^,}]*)"),
                                  "\"" + c + "\": *");
      }
      dump += line + "\n";
      if (line == "end") break;
    }
    ++*at;
  }
  return dump;
}

TEST(RulesOracleTest, WritesAreAcceptedRefusedAndStoredAsTheIndependentLibraryDoes) {
  for (const RuleCase& c : kCases) {
    SCOPED_TRACE(c.file);
    const fs::path path(c.file);
    SharedFileCopy base(path.parent_path().string(), path.filename().string());
    if (*c.setup != '\0') {
      const auto setup = RunRuleOracle(base.path(), std::string(c.setup) + "\n");
      if (setup.java_missing) GTEST_SKIP() << setup.error;
      ASSERT_TRUE(setup.ran()) << setup.error;
      for (const std::string& line : setup.lines) ASSERT_EQ(line, "ok 0");
    }
    const fs::path ours = base.dir() / "ours.mdb", theirs = base.dir() / "theirs.mdb";
    fs::copy_file(base.path(), ours);
    fs::copy_file(base.path(), theirs);

    std::vector<Write> writes;
    std::string oracle_writes;
    std::istringstream lines(c.writes);
    for (std::string line; std::getline(lines, line);) {
      writes.push_back(ParseWrite(line));
      oracle_writes += line.substr(0, line.rfind(" # ")) + "\n";
    }
    std::vector<int> our_errors;
    for (const Write& w : writes) {
      SCOPED_TRACE(w.command + " " + w.table + " " + w.objects.at(0));
      const std::string before = FileBytes(ours);
      std::string failure;
      our_errors.push_back(AccessErrorOf(ApplyWrite(ours, w), &failure));
      EXPECT_EQ(our_errors.back(), w.expected) << failure;
      if (our_errors.back() != 0) {
        EXPECT_TRUE(FileBytes(ours) == before) << "a refused write changed the file";
      }
    }

    // One run of the helper: the writes and the dump on its copy, then the
    // dump of ours.
    const bool compare = *c.our_rows == '\0';
    const std::string dumps = DumpCommands(c.tables);
    const auto oracle = RunRuleOracle(
        compare ? theirs : ours,
        compare ? oracle_writes + dumps + "open " + ours.string() + "\n" + dumps : dumps);
    if (oracle.java_missing) GTEST_SKIP() << oracle.error;
    ASSERT_TRUE(oracle.ran()) << oracle.error;
    size_t at = 0;
    if (!compare) {
      const std::string mine = TakeDump(oracle.lines, &at, c.tables, c.volatile_columns);
      EXPECT_NE(mine.find(c.our_rows), std::string::npos) << mine;
      continue;
    }
    ASSERT_GE(oracle.lines.size(), writes.size());
    for (size_t i = 0; i < writes.size(); ++i, ++at) {
      EXPECT_EQ(oracle.lines[i].starts_with("ok"), our_errors[i] == 0)
          << writes[i].command << " " << writes[i].objects.at(0) << ": " << oracle.lines[i];
    }
    const std::string theirs_dump = TakeDump(oracle.lines, &at, c.tables, c.volatile_columns);
    ASSERT_LT(at, oracle.lines.size());
    EXPECT_EQ(oracle.lines[at++], "ok 0");  // open
    EXPECT_EQ(TakeDump(oracle.lines, &at, c.tables, c.volatile_columns), theirs_dump);
  }
}

// Where Access and the library part ways, Access is followed: a column
// given Null keeps it (the library puts the default in), and a rule that is
// Null passes (the library refuses). Our refusals say what Access says; a
// rule or default we cannot evaluate refuses, naming it.
TEST(RulesTest, KeepGivenNullsPassNullRulesAndSayWhatTheyRefuse) {
  SharedFileCopy designed("fixtures", "tessdata-designed.mdb");
  struct Expect {
    const char* write;
    const char* message;  // "" accepted
  };
  const Expect kDesigned[] = {
      {R"(insert Events {"EventName": "N", "Category": null, "Priority": null})", ""},
      {R"(update Dates {"DateKey": "2010-01-01T00:00:00"} {"EventCount": null})", ""},
      {R"(insert Events {"EventName": null})",
       "The field 'Events.EventName' cannot contain a Null value because the Required property "
       "for this field is set to True. Enter a value in this field."},
      {R"(update Events {"EventName": "N"} {"Priority": 6})", "Priority is 1 to 5."},
  };
  for (const Expect& e : kDesigned) {
    const jet::Status s = ApplyWrite(designed.path(), ParseWrite(std::string(e.write) + " # 0"));
    EXPECT_EQ(s.ok() ? "" : s.message(), e.message) << e.write;
  }
  const auto rows = RunRuleOracle(designed.path(), "dump Events\n");
  if (rows.java_missing) GTEST_SKIP() << rows.error;
  EXPECT_NE(rows.lines.at(rows.lines.size() - 2).find(R"("Category": null, "Priority": null)"),
            std::string::npos);

  SharedFileCopy made("corpus", "indexTestV2000.mdb");
  const auto setup =
      RunRuleOracle(made.path(), R"(property Table2 data ValidationRule Foo([data]) > 1
property Table3 data DefaultValue =Bar()
property Table3 id ValidationRule < 100
)");
  ASSERT_TRUE(setup.ran()) << setup.error;
  const std::string before = FileBytes(made.path());
  const Expect kMade[] = {
      {R"(insert Table2 {"id": 7})",
       "The validation rule 'Foo([data]) > 1' set for 'Table2.data' cannot be evaluated: "
       "Undefined function 'Foo' in expression."},
      {R"(insert Table3 {"id": 7})",
       "The default value '=Bar()' set for 'Table3.data' cannot be evaluated: Undefined function "
       "'Bar' in expression."},
      {R"(insert Table3 {"id": 700, "data": "x"})",
       "One or more values are prohibited by the validation rule '< 100' set for 'Table3.id'. "
       "Enter a value that the expression for this field can accept."},
  };
  for (const Expect& e : kMade) {
    const jet::Status s = ApplyWrite(made.path(), ParseWrite(std::string(e.write) + " # 0"));
    EXPECT_EQ(s.message(), e.message) << e.write;
  }
  EXPECT_TRUE(FileBytes(made.path()) == before) << "a refused write changed the file";
  EXPECT_TRUE(
      ApplyWrite(made.path(), ParseWrite(R"(insert Table3 {"id": 7, "data": "x"} # 0)")).ok());
}

}  // namespace
