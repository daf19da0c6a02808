// Process runner for tests on Windows: CreateProcessW with both output
// streams on pipes, each drained by a thread of its own so that a child
// that fills one pipe while we wait on the other cannot deadlock.
#include <windows.h>

#include <string>
#include <thread>

#include "platform/unicode_win32.h"
#include "support/run_process.h"

namespace tessaly::testing {
namespace {

// One argument quoted the way CommandLineToArgvW takes it apart again.
std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
    } else if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
      backslashes = 0;
    } else {
      quoted.append(backslashes, L'\\');
      backslashes = 0;
    }
    if (c != L'\\') quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

void Drain(HANDLE pipe, std::string* sink) {
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) sink->append(buffer, got);
}

// CR LF as LF.
std::string WithoutCarriageReturns(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  }
  return out;
}

std::wstring FindProgram(const std::string& program) {
  std::wstring name = platform::Widen(program);
  wchar_t found[MAX_PATH];
  if (SearchPathW(nullptr, name.c_str(), L".exe", MAX_PATH, found, nullptr) > 0) return found;
  return {};
}

}  // namespace

ProcessResult internal::RunProgram(const std::vector<std::string>& argv,
                                   const std::string& input_file) {
  ProcessResult result;
  const std::wstring program = FindProgram(argv[0]);
  if (program.empty()) {
    result.error = "cannot start " + argv[0] + ": not found";
    return result;
  }
  std::wstring command_line = Quote(program);
  for (size_t i = 1; i < argv.size(); ++i) command_line += L" " + Quote(platform::Widen(argv[i]));

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out_read, out_write, err_read, err_write;
  if (!CreatePipe(&out_read, &out_write, &inherit, 0)) {
    result.error = "cannot make a pipe";
    return result;
  }
  if (!CreatePipe(&err_read, &err_write, &inherit, 0)) {
    CloseHandle(out_read);
    CloseHandle(out_write);
    result.error = "cannot make a pipe";
    return result;
  }
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul =
      CreateFileW(input_file.empty() ? L"NUL" : platform::Widen(input_file).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                      0, nullptr, nullptr, &startup, &process);
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) {
    CloseHandle(out_read);
    CloseHandle(err_read);
    result.error = "cannot start " + argv[0];
    return result;
  }
  std::thread errors(Drain, err_read, &result.raw_err);
  Drain(out_read, &result.raw_out);
  errors.join();
  result.out = WithoutCarriageReturns(result.raw_out);
  result.err = WithoutCarriageReturns(result.raw_err);
  CloseHandle(out_read);
  CloseHandle(err_read);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  result.exit_code = static_cast<int>(code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return result;
}

bool ProgramExists(const std::string& program) { return !FindProgram(program).empty(); }

}  // namespace tessaly::testing
