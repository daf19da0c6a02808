// Arguments and standard streams on POSIX systems; see console.h.
#include "platform/console.h"

namespace platform {

std::vector<std::string> Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void UseBinaryStandardStreams() {}

}  // namespace platform
