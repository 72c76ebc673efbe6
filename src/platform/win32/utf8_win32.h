#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferrolux::platform {

// The program keeps text as UTF-8; Windows takes names and texts as UTF-16
// through its W functions. Invalid sequences become U+FFFD, nothing throws.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// The program's arguments after its own name, as UTF-8 (from the wide command line).
std::vector<std::string> utf8Arguments();

// Console output takes UTF-8 bytes as they are written.
void useUtf8Console();

}  // namespace ferrolux::platform
