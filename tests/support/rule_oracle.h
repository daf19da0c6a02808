// Runs tests/oracle/RuleOracle.java on an Access file: the writes given as
// its commands, applied through the independent library in ../shared/oracle
// with its default values, validation rules and relationship enforcement,
// for tests that compare our engine's outcome and stored rows with it.
//
// Callers skip (GTEST_SKIP) only when java_missing is set; any other
// failure to run the helper is a test failure.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessaly::testing {

struct RuleOracleResult {
  bool java_missing = false;  // no java or javac in PATH
  int exit_code = -1;
  std::vector<std::string> lines;  // what it printed, a line per write ("ok 1", "refused ...")
  std::string error;               // standard error, or why it could not run

  bool ran() const { return exit_code == 0; }
};

// REQUIRES: mdb is a private copy; the helper writes it in place.
// `commands`: one a line (see RuleOracle.java). The helper is compiled with
// javac once per test program.
RuleOracleResult RunRuleOracle(const std::filesystem::path& mdb, const std::string& commands);

}  // namespace tessaly::testing
