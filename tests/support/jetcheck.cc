#include "support/jetcheck.h"

#include "support/run_process.h"
#include "support/shared_copy.h"

namespace tessaly::testing {

JetcheckResult RunJetcheck(const std::filesystem::path& mdb) {
  JetcheckResult result;
  if (!ProgramExists("java")) {
    result.java_missing = true;
    result.error = "java is not installed (scripts/bootstrap.sh installs it)";
    return result;
  }
  const std::filesystem::path checker = SharedPath("oracle", "jetcheck");
  if (!std::filesystem::is_regular_file(checker)) {
    result.error = "missing index checker " + checker.string();
    return result;
  }
  const ProcessResult run = RunProcess({checker.string(), mdb.string()});
  result.exit_code = run.exit_code;
  result.output = run.out;
  result.error = run.error.empty() ? run.err : run.error + "\n" + run.err;
  return result;
}

}  // namespace tessaly::testing
