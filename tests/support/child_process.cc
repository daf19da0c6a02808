// Child processes of a test program; see child_process.h.
#include "support/child_process.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#ifdef _WIN32
#include <windows.h>

#include "platform/unicode_win32.h"
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/system.h"

namespace tessaly::testing {
namespace {

constexpr char kChildFlag[] = "--tessaly-child=";

std::map<std::string, ChildMain>& Registry() {
  static std::map<std::string, ChildMain> children;
  return children;
}

ChildMain Find(const std::string& name) {
  auto it = Registry().find(name);
  if (it == Registry().end()) {
    std::fprintf(stderr, "no test child named %s\n", name.c_str());
    std::exit(90);
  }
  return it->second;
}

}  // namespace

bool RegisterChild(const char* name, ChildMain main) {
  Registry()[name] = main;
  return true;
}

bool RunChildIfAsked(int argc, char** argv, int* exit_status) {
  if (argc < 2 || std::string(argv[1]).rfind(kChildFlag, 0) != 0) return false;
  const std::string name = std::string(argv[1]).substr(sizeof kChildFlag - 1);
  *exit_status = Find(name)(std::vector<std::string>(argv + 2, argv + argc));
  std::fflush(stdout);
  return true;
}

#ifdef _WIN32

namespace {

std::vector<std::string> CommandLine(const std::string& name,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> argv = {platform::ProgramFile(), kChildFlag + name};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::wstring Quoted(const std::string& argument) {
  // The arguments tests pass hold no quotes; blanks are enclosed.
  std::wstring wide = platform::Widen(argument);
  return wide.find_first_of(L" \t") == std::wstring::npos ? wide : L"\"" + wide + L"\"";
}

}  // namespace

ProcessResult RunChild(const std::string& name, const std::vector<std::string>& args) {
  return RunProcess(CommandLine(name, args));
}

BackgroundChild::BackgroundChild(const std::string& name, const std::vector<std::string>& args) {
  std::wstring command;
  for (const std::string& argument : CommandLine(name, args)) {
    if (!command.empty()) command += L" ";
    command += Quoted(argument);
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    CloseHandle(process.hThread);
    process_ = reinterpret_cast<intptr_t>(process.hProcess);
  }
}

int BackgroundChild::Wait() {
  if (process_ == 0) return status_;
  HANDLE process = reinterpret_cast<HANDLE>(process_);
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  process_ = 0;
  return status_ = static_cast<int>(code);
}

#else

ProcessResult RunChild(const std::string& name, const std::vector<std::string>& args) {
  // A fork runs the body at once, without starting the program again.
  ProcessResult result;
  const ChildMain main = Find(name);
  int out[2];
  if (::pipe(out) != 0) {
    result.error = "cannot make a pipe";
    return result;
  }
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(out[0]);
    ::dup2(out[1], 1);
    const int status = main(args);
    std::fflush(stdout);
    ::_exit(status);
  }
  ::close(out[1]);
  char buffer[4096];
  for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;)
    result.out.append(buffer, got);
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else {
    result.error = "ended by signal " + std::to_string(WTERMSIG(status));
  }
  return result;
}

BackgroundChild::BackgroundChild(const std::string& name, const std::vector<std::string>& args) {
  const ChildMain main = Find(name);
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(main(args));
  process_ = pid;
}

int BackgroundChild::Wait() {
  if (process_ == 0) return status_;
  int status = 0;
  ::waitpid(static_cast<pid_t>(process_), &status, 0);
  process_ = 0;
  return status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

BackgroundChild::~BackgroundChild() { Wait(); }

}  // namespace tessaly::testing
