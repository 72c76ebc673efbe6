#include "ui/qt/qt_program.h"

#include "ui/qt/layouts.h"

namespace ferrolux::qt {

QtProgram::QtProgram(const std::filesystem::path& programDir) : program_(programDir, window_) {
    buildMainWindow(window_);
    window_.setDevice(&program_.session.device);
    window_.setCommandSink([this](int id) { program_.main.command(id); });
}

bool QtProgram::open(bool offerReload) {
    bool shown = false;
    window_.runCommand([&] { shown = program_.main.open(offerReload); });
    opened_ = true;
    return shown && !window_.ended();
}

int QtProgram::exec() {
    if (!opened_) open();
    if (!window_.ended()) window_.exec();
    program_.main.close();
    return 0;
}

}  // namespace ferrolux::qt
