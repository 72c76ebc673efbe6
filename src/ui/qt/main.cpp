// ferrolux: the desktop program. Its program directory is the current one when
// that holds kestrum.ini, else the user's own (made from the shipped list).
#include <QApplication>
#include <QCommandLineParser>
#include <filesystem>

#include "app/program_dir.h"
#include "platform/stop_signals.h"
#include "ui/qt/layouts.h"
#include "ui/qt/qt_program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferrolux"));
    QApplication::setApplicationVersion(QStringLiteral(FERROLUX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("ferrolux"));
    QApplication::setWindowIcon(ferrolux::qt::programIcon());

    QCommandLineParser args;
    args.setApplicationDescription(QStringLiteral("PIC programmer for the T3306/T3307 boards"));
    args.addHelpOption();
    args.addVersionOption();
    args.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("an INHX8M hex file to select"));
    args.process(app);

    // The file is named relative to where the program was started.
    std::string file;
    if (!args.positionalArguments().isEmpty()) {
        std::error_code ec;
        file = std::filesystem::absolute(args.positionalArguments().front().toStdString(), ec);
    }
    const ferrolux::app::ProgramDirChoice found = ferrolux::app::findProgramDir();
    std::error_code ec;
    const std::filesystem::path dir =
        found.dir.empty() ? std::filesystem::current_path(ec) : found.dir;
    ferrolux::qt::QtProgram program(dir);
    program.stopOn(ferrolux::platform::catchStopSignals());
    if (file.empty()) {
        program.open();
    } else {
        program.openWith(file);
    }
    return program.exec();
}
