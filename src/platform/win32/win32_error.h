#pragma once

#include <string>

namespace ferrolux::platform {

// The system's text for a GetLastError() code, without its line end.
std::string systemErrorText(unsigned long error);

}  // namespace ferrolux::platform
