#include "support/jetcheck.h"

#include <fstream>
#include <iterator>
#include <random>

#include "support/files.h"
#include "support/run_process.h"
#include "support/shared_copy.h"

namespace tessaly::testing {

namespace {

// The checker reads bytes 20-21 of an Access 97 index node page as a two-byte
// prefix length; Access keeps a one-byte length there and a node marker
// (0x01) after it, which the checker would take for a 256-byte prefix. It
// gets a copy of such a file with the markers cleared, which changes nothing
// else it reads. Returns the path to hand it ("" when the file is not
// Access 97 or has no node page).
std::filesystem::path Jet3CopyForChecker(const std::filesystem::path& mdb) {
  constexpr size_t kPageSize = 2048;
  std::string bytes = FileBytes(mdb);
  if (bytes.size() < kPageSize || bytes[0x14] != 0) return {};
  bool changed = false;
  for (size_t page = 0; page + kPageSize <= bytes.size(); page += kPageSize) {
    if (bytes[page] == 0x03 && bytes[page + 21] != 0) {
      bytes[page + 21] = 0;
      changed = true;
    }
  }
  if (!changed) return {};
  std::filesystem::path copy = mdb;
  copy += ".jetcheck-" + std::to_string(std::random_device()()) + ".mdb";
  std::ofstream(copy, std::ios::binary) << bytes;
  return copy;
}

}  // namespace

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
  const std::filesystem::path copy = Jet3CopyForChecker(mdb);
  const ProcessResult run = RunProcess({checker.string(), (copy.empty() ? mdb : copy).string()});
  if (!copy.empty()) {
    std::error_code ignored;
    std::filesystem::remove(copy, ignored);
  }
  result.exit_code = run.exit_code;
  result.output = run.out;
  result.error = run.error.empty() ? run.err : run.error + "\n" + run.err;
  return result;
}

}  // namespace tessaly::testing
