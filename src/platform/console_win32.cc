// Arguments and standard streams on Windows; see console.h.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/console.h"
#include "platform/unicode_win32.h"

namespace platform {
namespace {

UINT console_output_code_page = 0;  // the console's own, while we use UTF-8

void RestoreConsoleOutputCodePage() {
  std::fflush(stdout);
  std::fflush(stderr);
  SetConsoleOutputCP(console_output_code_page);
}

}  // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    arguments.push_back(i > 0 && std::wstring_view(wide[i]) == L"/?" ? "--help" : Narrow(wide[i]));
  }
  LocalFree(wide);
  return arguments;
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // 0 when the program has no console.
  if (const UINT code_page = GetConsoleOutputCP();
      code_page != 0 && code_page != CP_UTF8 && console_output_code_page == 0) {
    console_output_code_page = code_page;
    SetConsoleOutputCP(CP_UTF8);
    std::atexit(RestoreConsoleOutputCodePage);
  }
}

}  // namespace platform
