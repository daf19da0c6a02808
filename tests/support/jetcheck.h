// Runs the index checker in ../shared/oracle (jetcheck, a Java program) on
// one Access file, for tests that must know whether the indexes we wrote are
// the ones Access would write: it reads every table by scan and through
// every index, and seeks every row again by its own key.
//
// Callers skip (GTEST_SKIP) only when java_missing is set; any other
// failure to run the checker is a test failure.
#pragma once

#include <filesystem>
#include <string>

namespace tessaly::testing {

struct JetcheckResult {
  bool java_missing = false;  // no `java` in PATH: the check could not run
  int exit_code = -1;         // 0 CHECK OK, 1 CHECK FAILED, other: it broke
  std::string output;         // a line per table and index, then CHECK OK / CHECK FAILED n
  std::string error;          // standard error of the checker, or why it could not start

  bool passed() const { return exit_code == 0 && output.find("CHECK OK") != std::string::npos; }
};

// REQUIRES: mdb is a private copy (the checker only reads, but shared files
// are never handed to another program).
JetcheckResult RunJetcheck(const std::filesystem::path& mdb);

}  // namespace tessaly::testing
