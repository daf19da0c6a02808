// Relationships kept on every write, case by case over the files that have
// enforced ones: the corpus' indexTest files (Access 97 and 2000: cascading
// updates, cascading deletes, neither), the designed calendar (cascading
// deletes), and a file of ours whose two-column, set-Null and chained
// relationships the independent library in ../shared/oracle adds.
//
// Each change runs as a statement of `jetdb sql`'s session on its own open
// and close, with the outcome Access gives (accepted, 3200 or 3201); a
// refused one leaves the file byte for byte. The library (RelationshipOracle
// .java) makes the same changes on a copy of the same file (of the Access
// 2000 twin for an Access 97 file, which it does not write): it must accept
// and refuse the same ones and end with the same rows. Our file must then pass
// our check, mdbtools and the index checker.
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "jet/database.h"
#include "sql/session.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using tessaly::testing::ProcessResult;
using tessaly::testing::RunProcess;

// A change in the oracle's form (RelationshipOracle.java) and its outcome.
struct Change {
  const char* text;
  const char* outcome;  // "ok", "3200", "3201"
};

struct Case {
  const char* name;
  const char* folder;       // "": a new Access 2000 file made by `setup`
  const char* file;
  const char* oracle_twin;  // the Access 2000 file the library changes instead, or null
  std::vector<const char*> setup;  // statements our engine runs first
  std::vector<const char*> relate;  // relationships the library adds then
  std::vector<Change> changes;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

const std::vector<Change> kIndexTestChanges = {
    // Table1.otherfk1 -> Table2.id cascades deletes; Table1.otherfk2 -> Table3.id updates.
    {"insert Table1 id=9 otherfk1=7 otherfk2=10 data='x' otherfk3=0", "3201"},
    {"insert Table1 id=9 otherfk1=null otherfk2=12 data='x' otherfk3=0", "ok"},
    {"update Table1 id=9 SET otherfk2=99", "3201"},
    {"update Table1 id=9 SET otherfk1=2", "ok"},
    {"update Table3 id=11 SET id=20", "ok"},
    {"update Table2 id=1 SET id=5", "3200"},
    {"delete Table3 id=20", "3200"},
    {"delete Table3 id=12", "3200"},
    {"delete Table2 id=1", "ok"},
    {"delete Table3 id=20", "ok"},
    {"delete Table2 id=2", "ok"},
};

const std::vector<Case> kCases = {
    {"Access2000", "corpus", "indexTestV2000.mdb", nullptr, {}, {}, kIndexTestChanges},
    {"Access97", "corpus", "indexTestV1997.mdb", "indexTestV2000.mdb", {}, {}, kIndexTestChanges},
    {"DesignedCalendar",
     "fixtures",
     "tessdata-designed.mdb",
     nullptr,
     {},
     {},
     {
         {"insert EventDates EventId=999999 EventDate=#2010-05-05#", "3201"},
         {"insert EventDates EventId=5 EventDate=#2010-05-05#", "ok"},
         {"update EventDates EventDate=#2010-05-05# SET EventId=999998", "3201"},
         {"update EventDates EventDate=#2010-05-05# SET EventId=null", "ok"},
         {"update EventDates EventDate=#2010-05-05# SET EventId=17", "ok"},
         {"delete Events EventID=5", "ok"},
         {"delete Events EventID=17", "ok"},  // the weekly choir practice: 105 links
     }},
    {"TwoColumnsSetNullAndChains",
     "",
     "made.mdb",
     nullptr,
     {
         "CREATE TABLE Parishes (Diocese TEXT(20), Parish TEXT(30), Priest TEXT(50), "
         "CONSTRAINT PrimaryKey PRIMARY KEY (Diocese, Parish))",
         "CREATE TABLE Visits (VisitId LONG PRIMARY KEY, Diocese TEXT(20), Parish TEXT(30), "
         "Note TEXT(50))",
         "CREATE TABLE Notes (NoteId LONG PRIMARY KEY, Diocese TEXT(20), Parish TEXT(30))",
         "CREATE TABLE Items (ItemId LONG PRIMARY KEY, VisitId LONG)",
         "INSERT INTO Parishes VALUES ('Trier', 'St.Marien', 'Anna')",
         "INSERT INTO Parishes VALUES ('Trier', 'St.Paul', 'Bernd')",
         "INSERT INTO Parishes VALUES ('Köln', 'St.Paul', 'Clara')",
         "INSERT INTO Visits VALUES (1, 'Trier', 'St.Marien', 'a')",
         "INSERT INTO Visits VALUES (2, 'Trier', 'St.Marien', 'b')",
         "INSERT INTO Visits VALUES (3, 'Trier', 'St.Paul', 'c')",
         "INSERT INTO Visits VALUES (4, 'Köln', 'St.Paul', 'd')",
         "INSERT INTO Notes VALUES (1, 'Trier', 'St.Paul')",
         "INSERT INTO Notes VALUES (2, 'Köln', 'St.Paul')",
         "INSERT INTO Items VALUES (1, 1)",
         "INSERT INTO Items VALUES (2, 3)",
         "INSERT INTO Items VALUES (3, 3)",
         "INSERT INTO Items VALUES (4, 4)",
     },
     {
         "ParishesVisits Parishes Visits enforce+cascade-updates+cascade-deletes "
         "Diocese=Diocese,Parish=Parish",
         "ParishesNotes Parishes Notes enforce+set-null Diocese=Diocese,Parish=Parish",
         "VisitsItems Visits Items enforce+cascade-updates+cascade-deletes VisitId=VisitId",
     },
     {
         {"insert Visits VisitId=10 Diocese='Trier' Parish='Nowhere' Note='x'", "3201"},
         {"insert Visits VisitId=10 Diocese='Trier' Parish=null Note='x'", "3201"},
         {"insert Visits VisitId=10 Diocese=null Parish=null Note='x'", "ok"},
         {"insert Visits VisitId=11 Diocese='trier' Parish='st.marien' Note='x'", "ok"},
         {"update Visits VisitId=11 SET Diocese='Köln'", "3201"},
         {"update Visits VisitId=11 SET VisitId=12", "ok"},
         {"insert Items ItemId=5 VisitId=12", "ok"},
         {"update Parishes Priest='Anna' SET Parish='Liebfrauen'", "ok"},
         {"update Parishes Priest='Bernd' SET Parish='Paulus'", "3200"},
         {"delete Parishes Priest='Bernd'", "ok"},
         {"update Visits VisitId=1 SET VisitId=7", "ok"},
         {"delete Parishes Priest='Clara'", "ok"},
     }},
};

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// "col=val" as SQL: the name and the value (the forms are the same but Null).
std::pair<std::string, std::string> Pair(const std::string& word) {
  const size_t eq = word.find('=');
  std::string value = word.substr(eq + 1);
  if (value == "null") value = "Null";
  return {word.substr(0, eq), value};
}

// The change as the statement our session runs.
std::string AsStatement(const std::string& change) {
  const std::vector<std::string> words = Words(change);
  const std::string& table = words[1];
  if (words[0] == "insert") {
    std::string columns, values;
    for (size_t i = 2; i < words.size(); ++i) {
      const auto [name, value] = Pair(words[i]);
      columns += (i > 2 ? ", " : "") + name;
      values += (i > 2 ? ", " : "") + value;
    }
    return "INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")";
  }
  const auto [key, key_value] = Pair(words[2]);
  const std::string where = " WHERE " + key + " = " + key_value;
  if (words[0] == "delete") return "DELETE FROM " + table + where;
  const auto [column, value] = Pair(words[4]);
  return "UPDATE " + table + " SET " + column + " = " + value + where;
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs statements on one open of the file; the outcome of the last: "ok",
// Access's number for a relationship's refusal, or the error.
std::string RunStatements(const fs::path& path, const std::vector<std::string>& statements) {
  jet::OpenOptions options;
  options.read_only = false;
  options.sync = false;
  auto db = jet::Database::Open(path.string(), options);
  if (!db.ok()) return db.status().ToString();
  sql::Session session(**db);
  std::string outcome = "ok";
  for (const std::string& statement : statements) {
    sql::Outcome result;
    sql::Error error;
    if (session.Execute(statement, &result, &error)) continue;
    const std::string& d = error.description;
    outcome = d.rfind("The record cannot be deleted or changed because table '", 0) == 0 ? "3200"
              : d.rfind("You cannot add or change a record because a related record is required "
                        "in table '",
                        0) == 0
                  ? "3201"
                  : statement + ": " + d;
    break;
  }
  const jet::Status closed = (*db)->Close();
  return closed.ok() ? outcome : closed.ToString();
}

// The helper, compiled once; empty when there is no Java.
class Oracle {
 public:
  static Oracle& Get() {
    static Oracle oracle;
    return oracle;
  }
  bool available() const { return !classes_.empty(); }
  const std::string& why() const { return why_; }

  ProcessResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> argv = {"java", "-cp", classes_.string() + ":" + class_path_,
                                     "RelationshipOracle"};
    argv.insert(argv.end(), args.begin(), args.end());
    fs::path input_file;
    if (!input.empty()) {
      input_file = classes_ / ("input" + std::to_string(++inputs_));
      std::ofstream(input_file, std::ios::binary) << input;
    }
    return RunProcess(argv, input_file.string());
  }

 private:
  Oracle() {
    if (!tessaly::testing::kLinuxOracles || !tessaly::testing::ProgramExists("javac")) {
      why_ = "no javac: the oracle cannot run";
      return;
    }
    class_path_ = tessaly::testing::SharedPath("oracle", "jetcheck.jar").string() +
                  ":/usr/share/java/commons-lang3.jar:/usr/share/java/commons-logging.jar";
    const fs::path classes = tessaly::testing::MakeTempFolder("relationship-oracle");
    const ProcessResult built =
        RunProcess({"javac", "-d", classes.string(), "-cp", class_path_,
                    std::string(TESSALY_SOURCE_DIR) + "/tests/oracle/RelationshipOracle.java"});
    if (built.exit_code != 0) {
      why_ = "javac failed: " + built.err + built.error;
      std::error_code ignored;
      fs::remove_all(classes, ignored);
      return;
    }
    classes_ = classes;
  }

  ~Oracle() {
    std::error_code ignored;
    if (!classes_.empty()) fs::remove_all(classes_, ignored);
  }

  fs::path classes_;
  std::string class_path_;
  std::string why_;
  int inputs_ = 0;
};

// A dump's sections per file, without the "== FILE" lines.
std::vector<std::string> Sections(const std::string& dump) {
  std::vector<std::string> sections;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("== ", 0) == 0) {
      sections.emplace_back();
    } else if (!sections.empty()) {
      sections.back() += line + "\n";
    }
  }
  return sections;
}

class RelationshipOracleTest : public ::testing::TestWithParam<Case> {};

TEST_P(RelationshipOracleTest, SameOutcomesAndRowsAsTheIndependentLibrary) {
  const Case& c = GetParam();
  const fs::path dir = tessaly::testing::MakeTempFolder("relationships");
  struct Removed {
    fs::path dir;
    ~Removed() {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  } removed{dir};
  const fs::path base = dir / c.file;
  if (std::string(c.folder).empty()) {
    auto made = jet::Database::Create(base.string());
    ASSERT_TRUE(made.ok()) << made.status().ToString();
    ASSERT_TRUE((*made)->Close().ok());
  } else {
    fs::copy_file(tessaly::testing::SharedPath(c.folder, c.file), base);
    fs::permissions(base, fs::perms::owner_write, fs::perm_options::add);
  }
  std::vector<std::string> setup(c.setup.begin(), c.setup.end());
  ASSERT_EQ(RunStatements(base, setup), "ok");
  Oracle& oracle = Oracle::Get();
  if (!c.relate.empty()) {
    if (!oracle.available()) GTEST_SKIP() << oracle.why();
    std::string lines;
    for (const char* r : c.relate) lines += std::string(r) + "\n";
    const ProcessResult related = oracle.Run({"relate", base.string()}, lines);
    ASSERT_EQ(related.exit_code, 0) << related.err << related.error;
  }
  const fs::path ours = dir / ("ours-" + std::string(c.file));
  const fs::path theirs = dir / "theirs.mdb";
  fs::copy_file(base, ours);
  if (c.oracle_twin != nullptr) {
    fs::copy_file(tessaly::testing::SharedPath(c.folder, c.oracle_twin), theirs);
    fs::permissions(theirs, fs::perms::owner_write, fs::perm_options::add);
  } else {
    fs::copy_file(base, theirs);
  }

  std::string script;
  std::vector<std::string> outcomes;
  for (const Change& change : c.changes) {
    const std::string before = FileBytes(ours);
    const std::string outcome = RunStatements(ours, {AsStatement(change.text)});
    EXPECT_EQ(outcome, change.outcome) << change.text;
    if (outcome != "ok") {
      EXPECT_TRUE(FileBytes(ours) == before) << "refused, yet changed: " << change.text;
    }
    outcomes.push_back(outcome == "ok" ? "ok" : "refused");
    script += std::string(change.text) + "\n";
  }

  auto db = jet::Database::Open(ours.string());
  ASSERT_TRUE(db.ok());
  auto problems = (*db)->Check();
  ASSERT_TRUE(problems.ok());
  EXPECT_TRUE(problems->empty()) << (*problems)[0];
  auto tables = (*db)->UserTableNames();
  ASSERT_TRUE(tables.ok());
  ASSERT_TRUE((*db)->Close().ok());
  if (!tessaly::testing::kLinuxOracles) return;
  for (const std::string& table : *tables) {
    const ProcessResult read = RunProcess({"mdb-json", ours.string(), table});
    EXPECT_EQ(read.exit_code, 0) << table << ": " << read.err;
  }
  const tessaly::testing::JetcheckResult check = tessaly::testing::RunJetcheck(ours);
  if (check.java_missing) GTEST_SKIP() << check.error;
  EXPECT_TRUE(check.passed()) << check.output << check.error;

  if (!oracle.available()) GTEST_SKIP() << oracle.why();
  const ProcessResult run = oracle.Run({"run", theirs.string()}, script);
  ASSERT_EQ(run.exit_code, 0) << run.err << run.error;
  std::vector<std::string> expected;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) expected.push_back(line);
  EXPECT_EQ(outcomes, expected);
  const ProcessResult dump = oracle.Run({"dump", ours.string(), theirs.string()});
  ASSERT_EQ(dump.exit_code, 0) << dump.err << dump.error;
  const std::vector<std::string> sections = Sections(dump.out);
  ASSERT_EQ(sections.size(), 2u) << dump.out;
  EXPECT_EQ(sections[0], sections[1]);
}

INSTANTIATE_TEST_SUITE_P(Files, RelationshipOracleTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
