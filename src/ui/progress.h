#pragma once

#include <string>

namespace ferrolux::ui {

// The word address of a pass's progress text ("Contr-Adr: 01F0",
// "Contr-Addr: 0040"), or -1 for any other status text. Windows use it to
// draw a progress bar.
int progressAddress(const std::string& status);

}  // namespace ferrolux::ui
