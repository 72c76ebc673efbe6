#pragma once

#include <filesystem>
#include <string>

#include "files/device_record.h"
#include "link/link_settings.h"
#include "platform/tick_source.h"
#include "ui/window.h"

namespace ferrolux {

// Everything the program keeps for the length of a run. One session per window
// (or per test); operations take it as their first argument.
class Session {
public:
    explicit Session(platform::TickSource& tickSource, ui::Window* win = nullptr)
        : ticks(tickSource), window(win ? win : &nullWindow_) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    platform::TickSource& ticks;
    ui::Window* window;
    platform::SerialOpener* serialOpener = nullptr;  // opens COM ports by name

    LinkSettings link;
    PortAccess port;
    DeviceRecord device;
    std::string message;  // the reason of the last failure, shown titled "Error"
    std::filesystem::path programDir;

private:
    ui::NullWindow nullWindow_;
};

}  // namespace ferrolux
