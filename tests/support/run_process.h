// Runs a program and collects its exit code, standard output and standard
// error, for tests that drive our tools and the mdbtools oracle. No shell
// is involved, so file and table names need no quoting.
#pragma once

#include <string>
#include <vector>

namespace tessaly::testing {

// Our programs end their lines in CR LF on Windows (platform::kLineEnd);
// `out` and `err` hold the text with LF line ends on every system, as a
// text-mode reader takes it, so that tests compare lines alike everywhere.
// `raw_out` and `raw_err` hold the bytes as written.
struct ProcessResult {
  int exit_code = -1;  // -1: could not start, or ended by a signal
  std::string out;
  std::string err;
  std::string error;  // why it could not be started or waited for
  std::string raw_out;
  std::string raw_err;
};

namespace internal {
// RunProcess for a non-empty argv, one for each system.
ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& input_file);
}  // namespace internal

// argv[0] is searched in PATH when it has no slash. Standard input is
// /dev/null.
// Runs argv[0] (looked up in PATH) with `argv`, standard input from
// `input_file` (empty: the null device), and collects both outputs.
inline ProcessResult RunProcess(const std::vector<std::string>& argv,
                                const std::string& input_file = "") {
  if (argv.empty()) {
    ProcessResult result;
    result.error = "no program given";
    return result;
  }
  return internal::RunProgram(argv, input_file);
}

// True when `program` can be started from PATH (or is an executable path).
bool ProgramExists(const std::string& program);

// A program of this build, by its name without the system's suffix. Used by
// tests only (TESSALY_BIN_DIR is theirs).
#ifdef TESSALY_BIN_DIR
inline std::string BuiltProgram(const std::string& name) {
#ifdef _WIN32
  return std::string(TESSALY_BIN_DIR) + "/" + name + ".exe";
#else
  return std::string(TESSALY_BIN_DIR) + "/" + name;
#endif
}
#endif

// mdbtools and the index checker are Linux programs, which a Windows build's
// tests, running under Wine, can start but not wait for: there the files the
// Windows programs write are checked by them on the Linux side instead.
#ifdef _WIN32
inline constexpr bool kLinuxOracles = false;
#else
inline constexpr bool kLinuxOracles = true;
#endif

}  // namespace tessaly::testing
