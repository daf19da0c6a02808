// Functions of a test program that run in a process of their own: to end
// it abruptly at a chosen moment (crash tests), or to hold a file open from
// another process. A test registers the function by name; RunChild starts
// the test program again (forks it, where the system can) to run it.
#pragma once

#include <string>
#include <vector>

#include "support/run_process.h"

namespace tessaly::testing {

// A child's body: its arguments; its return value is the exit status. What
// it writes to standard output comes back in ProcessResult::out.
using ChildMain = int (*)(const std::vector<std::string>& args);

// Registers `main` under `name` (at start-up; see TESSALY_TEST_CHILD).
bool RegisterChild(const char* name, ChildMain main);

// Defines and registers a child body: TESSALY_TEST_CHILD(Name) { ... }.
#define TESSALY_TEST_CHILD(name)                                  \
  int name##ChildMain(const std::vector<std::string>& args);      \
  [[maybe_unused]] static const bool name##ChildRegistered =      \
      ::tessaly::testing::RegisterChild(#name, &name##ChildMain); \
  int name##ChildMain([[maybe_unused]] const std::vector<std::string>& args)

// Runs the child `name` with `args` and waits for it.
ProcessResult RunChild(const std::string& name, const std::vector<std::string>& args);

// A child that runs while the test goes on; the destructor waits for it.
class BackgroundChild {
 public:
  BackgroundChild(const std::string& name, const std::vector<std::string>& args);
  ~BackgroundChild();
  BackgroundChild(const BackgroundChild&) = delete;
  BackgroundChild& operator=(const BackgroundChild&) = delete;
  // Waits for the child to end; its exit status (-1 when it could not run).
  int Wait();

 private:
  intptr_t process_ = 0;  // a pid or a process HANDLE; 0 when done
  int status_ = -1;
};

// The test programs' main calls this first: when the command line names a
// child, runs it and returns true with its exit status.
bool RunChildIfAsked(int argc, char** argv, int* exit_status);

}  // namespace tessaly::testing
