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
#include "jet/testing/test_util.h"
#include "sql/session.h"
#include "support/jetcheck.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

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
  const char* folder;  // "": a new Access 2000 file, made by `setup`
  const char* file;
  const char* oracle_twin;          // the Access 2000 file the library changes instead, or null
  std::vector<const char*> setup;   // statements our engine runs first
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

// The change in the oracle's form as the statement our session runs:
// "col=val" words, where val is written as in SQL but for null.
std::string AsStatement(const std::string& change) {
  std::istringstream in(change);
  std::string verb, table, word, columns, values, where;
  in >> verb >> table;
  auto split = [](const std::string& w, std::string* name, std::string* value) {
    *name = w.substr(0, w.find('='));
    *value = w.substr(w.find('=') + 1);
    if (*value == "null") *value = "Null";
  };
  std::string name, value;
  if (verb == "insert") {
    for (const char* sep = ""; in >> word; sep = ", ") {
      split(word, &name, &value);
      columns += sep + name;
      values += sep + value;
    }
    return "INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")";
  }
  in >> word;
  split(word, &name, &value);
  where = " WHERE " + name + " = " + value;
  if (verb == "delete") return "DELETE FROM " + table + where;
  in >> word >> word;  // SET col=val
  split(word, &name, &value);
  return "UPDATE " + table + " SET " + name + " = " + value + where;
}

// Runs statements on one open of the file; the outcome of the first that
// fails ("3200" or "3201" for a relationship's refusal, else its error), or "ok".
std::string RunStatements(const fs::path& path, const std::vector<std::string>& statements) {
  auto db = jet::testing::OpenForWriting(path, false);
  if (db == nullptr) return "cannot open";
  sql::Session session(*db);
  std::string outcome = "ok";
  for (const std::string& statement : statements) {
    sql::Outcome result;
    sql::Error error;
    if (session.Execute(statement, &result, &error)) continue;
    const std::string& d = error.description;
    const bool related = d.find("' includes related records.") != std::string::npos;
    const bool required = d.find("a related record is required in table '") != std::string::npos;
    outcome = related ? "3200" : required ? "3201" : statement + ": " + d;
    break;
  }
  const jet::Status closed = db->Close();
  return closed.ok() ? outcome : closed.ToString();
}

// Runs the helper (compiled into `classes` first when it is not there).
ProcessResult RunOracle(const fs::path& classes, const std::vector<std::string>& args,
                        const std::string& input = "") {
  const std::string class_path = tessaly::testing::SharedPath("oracle", "jetcheck.jar").string() +
                                 ":/usr/share/java/commons-lang3.jar:/usr/share/java/"
                                 "commons-logging.jar";
  if (!fs::exists(classes / "RelationshipOracle.class")) {
    const ProcessResult built =
        RunProcess({"javac", "-d", classes.string(), "-cp", class_path,
                    std::string(TESSALY_SOURCE_DIR) + "/tests/oracle/RelationshipOracle.java"});
    if (built.exit_code != 0) return built;
  }
  std::vector<std::string> argv = {"java", "-cp", classes.string() + ":" + class_path,
                                   "RelationshipOracle"};
  argv.insert(argv.end(), args.begin(), args.end());
  const fs::path input_file = classes / "input";
  std::ofstream(input_file, std::ios::binary | std::ios::trunc) << input;
  return RunProcess(argv, input_file.string());
}

class RelationshipOracleTest : public ::testing::TestWithParam<Case> {};

TEST_P(RelationshipOracleTest, SameOutcomesAndRowsAsTheIndependentLibrary) {
  if (!tessaly::testing::ProgramExists("javac")) GTEST_SKIP() << "no javac: no oracle";
  const Case& c = GetParam();
  const tessaly::testing::SharedFileCopy copy(*c.folder ? c.folder : "fixtures",
                                              *c.folder ? c.file : "tessdata-blank.mdb");
  const fs::path base = copy.dir() / "base.mdb", ours = copy.dir() / "ours.mdb";
  const fs::path theirs = copy.dir() / "theirs.mdb", classes = copy.dir() / "classes";
  fs::create_directory(classes);
  if (*c.folder) {
    fs::copy_file(copy.path(), base);
  } else {
    ASSERT_TRUE(jet::Database::Create(base.string()).ok());
  }
  ASSERT_EQ(RunStatements(base, {c.setup.begin(), c.setup.end()}), "ok");
  std::string lines;
  for (const char* r : c.relate) lines += std::string(r) + "\n";
  if (!lines.empty()) {
    const ProcessResult related = RunOracle(classes, {"relate", base.string()}, lines);
    ASSERT_EQ(related.exit_code, 0) << related.err << related.error;
  }
  fs::copy_file(base, ours);
  fs::copy_file(c.oracle_twin ? tessaly::testing::SharedPath(c.folder, c.oracle_twin) : base,
                theirs);
  fs::permissions(theirs, fs::perms::owner_write, fs::perm_options::add);

  std::string script, outcomes;
  for (const Change& change : c.changes) {
    const std::string before = jet::testing::FileBytes(ours);
    const std::string outcome = RunStatements(ours, {AsStatement(change.text)});
    EXPECT_EQ(outcome, change.outcome) << change.text;
    if (outcome != "ok") {
      EXPECT_TRUE(jet::testing::FileBytes(ours) == before) << "refused, changed: " << change.text;
    }
    outcomes += outcome == "ok" ? "ok\n" : "refused\n";
    script += std::string(change.text) + "\n";
  }
  auto db = jet::Database::Open(ours.string());
  ASSERT_TRUE(db.ok());
  auto problems = (*db)->Check();
  ASSERT_TRUE(problems.ok() && problems->empty()) << (problems.ok() ? problems->front() : "");
  const auto tables = (*db)->UserTableNames();
  ASSERT_TRUE(tables.ok());
  for (const std::string& table : *tables) {
    const ProcessResult read = RunProcess({"mdb-json", ours.string(), table});
    EXPECT_EQ(read.exit_code, 0) << table << ": " << read.err;
  }
  ASSERT_TRUE((*db)->Close().ok());
  const tessaly::testing::JetcheckResult check = tessaly::testing::RunJetcheck(ours);
  EXPECT_TRUE(check.passed()) << check.output << check.error;

  const ProcessResult run = RunOracle(classes, {"run", theirs.string()}, script);
  ASSERT_EQ(run.exit_code, 0) << run.err << run.error;
  EXPECT_EQ(outcomes, run.out);
  const ProcessResult dumped_ours = RunOracle(classes, {"dump", ours.string()});
  const ProcessResult dumped_theirs = RunOracle(classes, {"dump", theirs.string()});
  EXPECT_EQ(dumped_ours.out.substr(dumped_ours.out.find('\n')),
            dumped_theirs.out.substr(dumped_theirs.out.find('\n')));
}

INSTANTIATE_TEST_SUITE_P(Files, RelationshipOracleTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
