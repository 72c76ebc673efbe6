#include "ui/qt/qt_program.h"

#include <QApplication>
#include <QMenu>
#include <QSettings>

#include "platform/linux/system_info.h"
#include "ui/control_ids.h"
#include "ui/qt/layouts.h"

namespace ferrolux::qt {

namespace {

const QString kRecentKey = QStringLiteral("recentFiles");

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ferrolux"),
                     QStringLiteral("ferrolux"));
}

}  // namespace

std::string QtSettingsStore::value(const std::string& key) {
    return settings().value(QString::fromStdString(key)).toString().toStdString();
}

void QtSettingsStore::setValue(const std::string& key, const std::string& value) {
    settings().setValue(QString::fromStdString(key), QString::fromStdString(value));
}

std::filesystem::path findManual() {
    std::error_code ec;
    const std::filesystem::path exe = platform::executablePath();
    const std::filesystem::path candidates[] = {
        exe.parent_path() / "../share/doc/ferrolux/manual.html",
        std::filesystem::path(FERROLUX_SOURCE_DIR) / "docs/manual.html",
    };
    for (const auto& c : candidates)
        if (!exe.empty() && std::filesystem::is_regular_file(c, ec)) return c.lexically_normal();
    return {};
}

QtProgram::QtProgram(const std::filesystem::path& programDir)
    : program_(programDir, window_), manual_(findManual()) {
    buildMainWindow(window_);
    window_.setDevice(&program_.session.device);
    window_.setCommandSink([this](int id) { command(id); });
    program_.main.useSettings(&settings_);
    fillRecentMenu();
}

void QtProgram::command(int id) {
    Session& s = program_.session;
    std::error_code ec;
    if (id == ctl::kHelpTopics && !manual_.empty() &&
        !std::filesystem::exists(s.programDir / "T3306.CHM", ec)) {
        const bool shown = openDocument_ ? openDocument_(manual_.string())
                                         : window_.openDocument(manual_.string());
        if (shown) return;
    }
    const std::string before = s.file.fileSelected ? s.file.hexPath : std::string();
    program_.main.command(id);
    if (id == ctl::kOpenFile && s.file.fileSelected && s.file.hexPath != before)
        remember(QString::fromStdString(s.file.hexPath));
}

QStringList QtProgram::recentFiles() const {
    return settings().value(kRecentKey).toStringList();
}

void QtProgram::remember(const QString& file) {
    QStringList files = recentFiles();
    files.removeAll(file);
    files.prepend(file);
    while (files.size() > kRecentFiles)
        files.removeLast();
    settings().setValue(kRecentKey, files);
    fillRecentMenu();
}

void QtProgram::fillRecentMenu() {
    auto* menu = window_.findChild<QMenu*>(QStringLiteral("recent"));
    if (menu == nullptr) return;
    menu->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString file = files[i];
        QAction* a = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(file));
        QObject::connect(a, &QAction::triggered, &window_,
                         [this, file] { window_.openPath(file.toStdString()); });
    }
    menu->setEnabled(!files.isEmpty());
}

bool QtProgram::open(bool offerReload) {
    bool shown = false;
    window_.runCommand([&] { shown = program_.main.open(offerReload); });
    opened_ = true;
    return shown && !window_.ended();
}

bool QtProgram::openWith(const std::string& file) {
    if (!open(false)) return false;
    std::error_code ec;
    const auto path = std::filesystem::absolute(file, ec);
    window_.openPath(ec ? file : path.string());
    return !window_.ended();
}

void QtProgram::stopOn(const volatile std::sig_atomic_t* flag) {
    program_.session.stopRequest = flag;
    window_.setStopFlag(flag);
    QObject::connect(&stopWatch_, &QTimer::timeout, [this, flag] {
        if (*flag == 0) return;
        // A box or dialog open now is closed first, as Esc closes it (a
        // question answers Cancel), one a tick: the command that waited for
        // it goes on and ends, and no new box opens.
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (modal != nullptr && modal != &window_) {
            modal->reject();
            return;
        }
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
