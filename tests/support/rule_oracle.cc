#include "support/rule_oracle.h"

#include <fstream>
#include <sstream>

#include "support/run_process.h"
#include "support/shared_copy.h"
#include "support/temp_folder.h"

namespace tessaly::testing {

namespace {

// Compiles the helper into a folder of its own; "" and *error on failure.
std::filesystem::path CompiledHelper(std::string* error) {
  static std::string failure;
  static const std::filesystem::path classes = [] {
    const std::filesystem::path folder = MakeTempFolder("rule-oracle");
    const ProcessResult run =
        RunProcess({"javac", "-nowarn", "-d", folder.string(), "-cp",
                    SharedPath("oracle", "jetcheck.jar").string(),
                    std::string(TESSALY_SOURCE_DIR) + "/tests/oracle/RuleOracle.java"});
    if (run.exit_code != 0) failure = "javac failed: " + run.error + run.err;
    return run.exit_code == 0 ? folder : std::filesystem::path();
  }();
  *error = failure;
  return classes;
}

}  // namespace

RuleOracleResult RunRuleOracle(const std::filesystem::path& mdb, const std::string& commands) {
  RuleOracleResult result;
  if (!ProgramExists("java") || !ProgramExists("javac")) {
    result.java_missing = true;
    result.error = "java or javac is not installed (scripts/bootstrap.sh installs them)";
    return result;
  }
  const std::filesystem::path classes = CompiledHelper(&result.error);
  if (classes.empty()) return result;
  const std::filesystem::path input = mdb.string() + ".commands";
  std::ofstream(input, std::ios::binary) << commands;
  const ProcessResult run =
      RunProcess({"java", "-XX:TieredStopAtLevel=1", "-cp",
                  SharedPath("oracle", "jetcheck.jar").string() + ":" + classes.string(),
                  "RuleOracle", mdb.string()},
                 input.string());
  std::error_code ignored;
  std::filesystem::remove(input, ignored);
  result.exit_code = run.exit_code;
  result.error = run.error + run.err;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) result.lines.push_back(line);
  return result;
}

}  // namespace tessaly::testing
