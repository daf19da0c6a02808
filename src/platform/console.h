// A command-line program's arguments and standard streams.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The program's arguments in UTF-8, the program name first: on Windows
// taken from the wide command line (argv there holds the ANSI code page's
// lossy copy), with "/?", the Windows way to ask for help, as "--help";
// elsewhere argv as it is.
std::vector<std::string> Arguments(int argc, char** argv);

// The standard streams carry bytes exactly as written and read: a program
// ends its lines itself (kLineEnd). On Windows a console shows output as
// UTF-8, and gets its own output code page back when the program ends.
void UseBinaryStandardStreams();

// How the lines our command-line programs write end: CR LF on Windows, on a
// console and in a file alike, LF elsewhere.
#ifdef _WIN32
inline constexpr std::string_view kLineEnd = "\r\n";
#else
inline constexpr std::string_view kLineEnd = "\n";
#endif

// `text` with each LF that does not end a CR LF already written as kLineEnd.
std::string WithLineEnds(std::string_view text);

}  // namespace platform
