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

void QtProgram::stopOn(const volatile std::sig_atomic_t* flag) {
    program_.session.stopRequest = flag;
    QObject::connect(&stopWatch_, &QTimer::timeout, [this, flag] {
        if (*flag == 0) return;
        stopWatch_.stop();
        static_cast<QDialog&>(window_).reject();  // as the close box does
    });
    stopWatch_.start(100);
}

int QtProgram::exec() {
    if (!opened_) open();
    if (!window_.ended()) window_.exec();
    program_.main.close();
    return 0;
}

}  // namespace ferrolux::qt
