// ferrolux: the desktop program. Its program directory is the current one.
#include <QApplication>
#include <filesystem>

#include "platform/stop_signals.h"
#include "ui/qt/layouts.h"
#include "ui/qt/qt_program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferrolux"));
    QApplication::setApplicationVersion(QStringLiteral("2.6.0"));
    QApplication::setDesktopFileName(QStringLiteral("ferrolux"));
    QApplication::setWindowIcon(ferrolux::qt::programIcon());

    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::current_path(ec);
    ferrolux::qt::QtProgram program(dir);
    program.stopOn(ferrolux::platform::catchStopSignals());
    program.open();
    return program.exec();
}
