// UTF-8 <-> UTF-16 for the Windows implementations (file names, texts).
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace platform
