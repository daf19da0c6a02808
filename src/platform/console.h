// A command-line program's arguments and standard streams.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The program's arguments in UTF-8, the program name first: on Windows
// taken from the wide command line (argv there holds the ANSI code page's
// lossy copy), elsewhere argv as it is.
std::vector<std::string> Arguments(int argc, char** argv);

// The standard streams carry bytes exactly as written and read (no CR LF
// for LF on Windows), and a console shows output as UTF-8.
void UseBinaryStandardStreams();

}  // namespace platform
