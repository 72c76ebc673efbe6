#include "ui/progress.h"

#include <cstdio>

namespace ferrolux::ui {

int progressAddress(const std::string& status) {
    if (status.rfind("Contr-Ad", 0) != 0) return -1;
    const std::size_t colon = status.find(':');
    if (colon == std::string::npos) return -1;
    unsigned address = 0;
    if (std::sscanf(status.c_str() + colon + 1, "%4x", &address) != 1) return -1;
    return static_cast<int>(address);
}

}  // namespace ferrolux::ui
