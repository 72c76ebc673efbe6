#include "ui/qt/qt_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "ui/control_ids.h"
#include "ui/qt/layouts.h"

namespace ferrolux::qt {

namespace {

QString toQ(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQ(const QString& text) {
    return text.toUtf8().toStdString();
}

// The program's line ends are CR LF; a text field keeps plain LF.
QString toFieldText(const std::string& text) {
    QString t = toQ(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

std::string fromFieldText(QString text) {
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return fromQ(text);
}

// A position in a text field, counted as the program counts it: CR LF is two characters.
int programPosition(QTextDocument* document, int position) {
    return position + document->findBlock(position).blockNumber();
}

// A caption without its keyboard mnemonic marker.
QString plain(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

QMessageBox::Icon iconFor(const std::string& title, ui::Buttons buttons) {
    if (title == "Error" || title == "Error!" || title == "ERROR!") return QMessageBox::Critical;
    if (title == "Warning!" || title == "WARNING!") return QMessageBox::Warning;
    return buttons == ui::Buttons::okCancel ? QMessageBox::Question : QMessageBox::Information;
}

// --- The data memory grid: the data text's lines "%04X: %02X " as a table
// of bytes, 8 a row (16 from 256 bytes on), and an ASCII column. ---

bool isHexText(const QString& t) {
    if (t.isEmpty() || t.size() > 2) return false;
    bool ok = false;
    t.toInt(&ok, 16);
    return ok;
}

QString asciiOf(QTableWidget* grid, int row) {
    QString ascii;
    for (int c = 0; c + 1 < grid->columnCount(); ++c) {
        const QTableWidgetItem* item = grid->item(row, c);
        if (item == nullptr) break;
        const int v = item->text().toInt(nullptr, 16);
        ascii += v >= 0x20 && v < 0x7F ? QChar(v) : QLatin1Char('.');
    }
    return ascii;
}

void setGridText(QTableWidget* grid, const QString& text) {
    QList<int> bytes;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString digits = line.mid(6, 2).trimmed();
        if (line.size() < 7 || line[4] != QLatin1Char(':') || !isHexText(digits)) continue;
        bytes << digits.toInt(nullptr, 16);
    }
    const int perRow = bytes.size() >= 256 ? 16 : 8;
    const int rows = static_cast<int>((bytes.size() + perRow - 1) / perRow);
    grid->clear();
    grid->setColumnCount(perRow + 1);
    grid->setRowCount(rows);
    QStringList columns;
    for (int c = 0; c < perRow; ++c)
        columns << QString::number(c, 16).toUpper();
    grid->setHorizontalHeaderLabels(columns << QStringLiteral("ASCII"));
    QStringList offsets;
    for (int r = 0; r < rows; ++r)
        offsets << QStringLiteral("%1").arg(r * perRow, 4, 16, QLatin1Char('0')).toUpper();
    grid->setVerticalHeaderLabels(offsets);
    for (int i = 0; i < bytes.size(); ++i) {
        auto* item = new QTableWidgetItem(
            QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper());
        item->setTextAlignment(Qt::AlignCenter);
        grid->setItem(i / perRow, i % perRow, item);
    }
    for (int r = 0; r < rows; ++r) {
        auto* ascii = new QTableWidgetItem(asciiOf(grid, r));
        ascii->setFlags(Qt::ItemIsEnabled);
        grid->setItem(r, perRow, ascii);
    }
    grid->resizeColumnsToContents();
}

QString gridText(QTableWidget* grid) {
    QString text;
    int offset = 0;
    for (int r = 0; r < grid->rowCount(); ++r) {
        for (int c = 0; c + 1 < grid->columnCount(); ++c) {
            const QTableWidgetItem* item = grid->item(r, c);
            if (item == nullptr) return text;
            text += QStringLiteral("%1: %2 \n")
                        .arg(offset++, 4, 16, QLatin1Char('0'))
                        .arg(item->text())
                        .toUpper();
        }
    }
    return text;
}

// A cell the user edited: two hex digits stay (upper case), anything else
// is undone; the row's ASCII column follows.
void gridEdited(QTableWidget* grid, QTableWidgetItem* item) {
    const int asciiColumn = grid->columnCount() - 1;
    if (item->column() == asciiColumn) return;
    const QString typed = item->text().trimmed().toUpper();
    const QString kept = item->data(Qt::UserRole).toString();
    QString value = isHexText(typed) ? typed.rightJustified(2, QLatin1Char('0')) : kept;
    if (value.isEmpty()) value = QStringLiteral("00");
    const QSignalBlocker quiet(grid);
    item->setText(value);
    item->setData(Qt::UserRole, value);
    if (QTableWidgetItem* ascii = grid->item(item->row(), asciiColumn))
        ascii->setText(asciiOf(grid, item->row()));
}

}  // namespace

QtWindow::QtWindow(QWidget* parent) : QDialog(parent) {
    const QFontMetricsF metrics(font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    units_.baseX = metrics.horizontalAdvance(alphabet) / alphabet.size();
    units_.baseY = metrics.height();
}

QtWindow::~QtWindow() = default;

QWidget* QtWindow::addControl(int id, QWidget* widget) {
    widget->setObjectName(QString::number(id));
    controls_[id] = widget;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (auto* push = qobject_cast<QPushButton*>(button)) {
            push->setAutoDefault(false);
            push->setDefault(id == ctl::kDefaultButton);
        }
        connect(button, &QAbstractButton::clicked, this, [this, id] { dispatch(id); });
    } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
        connect(list, &QComboBox::currentIndexChanged, this, [this, id] {
            if (!quiet_) dispatch(id);
        });
    } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        connect(line, &QLineEdit::textEdited, this, [this, id] { edited(id); });
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
        connect(edit, &QPlainTextEdit::textChanged, this, [this, id] {
            if (!quiet_) edited(id);
        });
    } else if (auto* grid = qobject_cast<QTableWidget*>(widget)) {
        // The grid keeps its cells valid itself: the logic sees its text.
        connect(grid, &QTableWidget::itemChanged, this, [this, grid](QTableWidgetItem* item) {
            if (!quiet_) gridEdited(grid, item);
        });
    }
    return widget;
}

QAction* QtWindow::registerAction(int id, QAction* action) {
    action->setObjectName(QString::number(id));
    actions_[id] = action;
    connect(action, &QAction::triggered, this, [this, id, action] {
        // Check marks are the logic's to set: undo the menu's own toggles.
        if (action->isCheckable()) {
            const QList<QAction*> marked =
                action->actionGroup() ? action->actionGroup()->actions() : QList<QAction*>{action};
            for (QAction* a : marked)
                a->setChecked(marks_[a->objectName().toInt()]);
        }
        dispatch(id);
    });
    return action;
}

QWidget* QtWindow::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second.data();
}

QAction* QtWindow::action(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second.data();
}

void QtWindow::runCommand(const std::function<void()>& work) {
    gate_.run(work, [this] {
        if (!ended_) dispatch(ctl::kCancel);
    });
}

void QtWindow::dispatch(int id) {
    runCommand([&] {
        if (commandSink_) commandSink_(id);
    });
}

void QtWindow::edited(int id) {
    runCommand([&] {
        if (editSink_) editSink_(id);
    });
}

void QtWindow::keyPressEvent(QKeyEvent* event) {
    // Esc closes dialogs; a window that keeps it leaves it to Exit and the close box.
    if (!escCloses_ && event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void QtWindow::reject() {
    // A close box clicked while a command runs takes effect once it has ended.
    if (!gate_.holdClose()) dispatch(ctl::kCancel);
}

// --- Texts ---

void QtWindow::setText(int id, const std::string& text) {
    if (id == ctl::kWindowTitle) {
        setWindowTitle(toQ(text));
        return;
    }
    quiet_ = true;
    if (QWidget* w = control(id)) {
        if (auto* line = qobject_cast<QLineEdit*>(w)) {
            line->setText(toQ(text));
            line->setModified(false);
            line->setCursorPosition(0);
        } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
            edit->setPlainText(toFieldText(text));
            edit->document()->setModified(false);
        } else if (auto* grid = qobject_cast<QTableWidget*>(w)) {
            setGridText(grid, toFieldText(text));
            for (int r = 0; r < grid->rowCount(); ++r)
                for (int c = 0; c < grid->columnCount(); ++c)
                    if (QTableWidgetItem* item = grid->item(r, c))
                        item->setData(Qt::UserRole, item->text());
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setText(toQ(text));
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(toQ(text));
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            group->setTitle(toQ(text));
        }
    } else if (QAction* a = action(id)) {
        a->setText(toQ(text));
    }
    quiet_ = false;
}

std::string QtWindow::text(int id) {
    if (id == ctl::kWindowTitle) return fromQ(windowTitle());
    if (QWidget* w = control(id)) {
        if (auto* line = qobject_cast<QLineEdit*>(w)) return fromQ(line->text());
        if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
            return fromFieldText(edit->toPlainText());
        }
        if (auto* grid = qobject_cast<QTableWidget*>(w)) return fromFieldText(gridText(grid));
        if (auto* button = qobject_cast<QAbstractButton*>(w)) return fromQ(plain(button->text()));
        if (auto* label = qobject_cast<QLabel*>(w)) return fromQ(label->text());
        if (auto* group = qobject_cast<QGroupBox*>(w)) return fromQ(group->title());
        if (auto* list = qobject_cast<QComboBox*>(w)) return fromQ(list->currentText());
    } else if (QAction* a = action(id)) {
        return fromQ(plain(a->text()));
    }
    return {};
}

void QtWindow::progress(const Progress& p) {
    if (progress_ == nullptr || p.total <= 0) return;
    progress_->setValue(std::min((p.done + 1) * 100 / p.total, 100));
    progress_->setVisible(true);
}

// --- States ---

void QtWindow::enable(int id, bool enabled) {
    if (QWidget* w = control(id)) {
        w->setEnabled(enabled);
    } else if (QAction* a = action(id)) {
        a->setEnabled(enabled);
    }
    // The pass is over once the status field is greyed.
    if (id == ctl::kStatusField && !enabled && progress_ != nullptr) {
        progress_->setVisible(false);
        progress_->setValue(0);
    }
}

void QtWindow::showMenuItem(int id, const std::string& text, bool shown) {
    if (QAction* a = action(id)) {
        a->setText(toQ(text));
        a->setVisible(shown);
    }
}

void QtWindow::check(int id, bool checked) {
    if (QAction* a = action(id)) {
        marks_[id] = checked;
        a->setChecked(checked);
        return;
    }
    auto* button = qobject_cast<QAbstractButton*>(control(id));
    if (button == nullptr) return;
    if (!checked && button->isChecked()) {
        // An exclusive group keeps one button set; the program may clear them all.
        if (QButtonGroup* group = button->group()) {
            group->setExclusive(false);
            button->setChecked(false);
            group->setExclusive(true);
        } else {
            const bool exclusive = button->autoExclusive();
            button->setAutoExclusive(false);
            button->setChecked(false);
            button->setAutoExclusive(exclusive);
        }
        return;
    }
    button->setChecked(checked);
}

bool QtWindow::isChecked(int id) {
    if (QAction* a = action(id)) return a->isChecked();
    auto* button = qobject_cast<QAbstractButton*>(control(id));
    return button != nullptr && button->isChecked();
}

// --- Lists ---

void QtWindow::setListItems(int id, const std::vector<std::string>& items) {
    auto* list = qobject_cast<QComboBox*>(control(id));
    if (list == nullptr) return;
    quiet_ = true;
    list->clear();
    for (const std::string& item : items)
        list->addItem(toQ(item));
    list->setCurrentIndex(-1);
    quiet_ = false;
}

void QtWindow::selectListItem(int id, int index) {
    auto* list = qobject_cast<QComboBox*>(control(id));
    if (list == nullptr) return;
    quiet_ = true;
    list->setCurrentIndex(index < list->count() ? index : -1);
    quiet_ = false;
}

int QtWindow::listSelection(int id) {
    auto* list = qobject_cast<QComboBox*>(control(id));
    return list == nullptr ? -1 : list->currentIndex();
}

std::string QtWindow::listItem(int id, int index) {
    auto* list = qobject_cast<QComboBox*>(control(id));
    if (list == nullptr || index < 0 || index >= list->count()) return {};
    return fromQ(list->itemText(index));
}

// --- Boxes, sounds, painting ---

ui::Answer QtWindow::messageBox(const std::string& text, const std::string& title,
                                ui::Buttons buttons) {
    return showBox(text, title, buttons, ui::Answer::ok);
}

ui::Answer QtWindow::question(const std::string& text, const std::string& title,
                              ui::Answer preferred) {
    return showBox(text, title, ui::Buttons::okCancel, preferred);
}

ui::Answer QtWindow::showBox(const std::string& text, const std::string& title, ui::Buttons buttons,
                             ui::Answer preferred) {
    if (stop_ != nullptr && *stop_ != 0) return ui::Answer::cancel;
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr && isVisible()) owner = this;
    QString body = toQ(text);
    while (body.endsWith(QLatin1Char('\n')) || body.endsWith(QLatin1Char('\r')))
        body.chop(1);
    QMessageBox box(owner);
    box.setWindowTitle(toQ(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(body);
    box.setIcon(iconFor(title, buttons));
    if (buttons == ui::Buttons::okCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    box.setDefaultButton(preferred == ui::Answer::cancel && buttons == ui::Buttons::okCancel
                             ? QMessageBox::Cancel
                             : QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Ok) ? ui::Answer::ok : ui::Answer::cancel;
}

void QtWindow::beep() {
    QApplication::beep();
}

void QtWindow::repaint() {
    // Paint what changed, and answer the desktop, but take no clicks or keys.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtWindow::idleUntil(platform::TickSource& clock, std::uint64_t deadlineNs) {
    for (;;) {
        const std::uint64_t now = clock.nowNs();
        if (now >= deadlineNs) return;
        const auto ms =
            static_cast<int>(std::min<std::uint64_t>((deadlineNs - now) / 1'000'000, 50));
        if (ms == 0) return;  // the caller's busy wait covers the rest
        idleFor(ms);
    }
}

void QtWindow::idleFor(int ms) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(ms);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// --- Dialogs ---

void QtWindow::endDialog(int result) {
    ended_ = true;
    endResult_ = result;
    QDialog::done(result);
}

void QtWindow::show() {
    QDialog::show();
    repaint();
}

int QtWindow::runDialog(int dialogId, ui::DialogHandler& handler) {
    QtWindow dialog(this);
    if (!buildDialog(dialogId, dialog)) return ctl::kCancel;
    dialog.setDevice(device_);
    dialog.setStopFlag(stop_);
    dialog.setCommandSink([&](int id) { handler.command(dialog, id); });
    dialog.setEditSink([&](int id) { handler.textChanged(dialog, id); });
    dialog.setModal(true);
    dialog.QDialog::show();
    dialog.runCommand([&] { handler.opened(dialog); });
    if (!dialog.ended()) dialog.exec();
    return dialog.ended() ? dialog.endResult() : ctl::kCancel;
}

std::string QtWindow::pickFile(const ui::FileRequest& request) {
    if (!picked_.empty()) {
        std::string path;
        path.swap(picked_);
        return path;
    }
    const QString filters = QStringLiteral("Hex files (*.hex *.HEX);;All files (*)");
    return fromQ(
        QFileDialog::getOpenFileName(this, toQ(request.title), toQ(request.startFolder), filters));
}

std::string QtWindow::pickSaveFile(const ui::FileRequest& request) {
    if (stop_ != nullptr && *stop_ != 0) return {};
    const QString pattern = toQ(request.pattern);
    const QString filters = toQ(request.filterName) + QStringLiteral(" (") + pattern +
                            QStringLiteral(");;All files (*)");
    QFileDialog dialog(this, toQ(request.title), toQ(request.startFolder), filters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(pattern.mid(pattern.lastIndexOf(QLatin1Char('.')) + 1));
    dialog.selectFile(toQ(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return fromQ(dialog.selectedFiles().front());
}

void QtWindow::openPath(const std::string& path) {
    picked_ = path;
    dispatch(ctl::kOpenFile);
    picked_.clear();
}

namespace {

// The local .hex file a drag carries; empty when it carries anything else.
QString droppedHexFile(const QMimeData* data) {
    if (data == nullptr || data->urls().size() != 1) return {};
    const QUrl url = data->urls().front();
    if (!url.isLocalFile() ||
        !url.toLocalFile().endsWith(QStringLiteral(".hex"), Qt::CaseInsensitive))
        return {};
    return url.toLocalFile();
}

}  // namespace

void QtWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!gate_.busy() && !droppedHexFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void QtWindow::dropEvent(QDropEvent* event) {
    const QString file = droppedHexFile(event->mimeData());
    if (gate_.busy() || file.isEmpty()) return;
    event->acceptProposedAction();
    openPath(fromQ(file));
}

bool QtWindow::openDocument(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(toQ(path)));
}

// --- Text fields ---

ui::Caret QtWindow::caret(int id) {
    QWidget* w = control(id);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        if (!line->hasSelectedText()) return {line->cursorPosition(), 0};
        return {line->selectionStart(), line->selectionLength()};
    }
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        const QTextCursor cursor = edit->textCursor();
        QTextDocument* document = edit->document();
        const int start = programPosition(document, cursor.selectionStart());
        const int end = programPosition(document, cursor.selectionEnd());
        return {start, end - start};
    }
    return {};
}

bool QtWindow::isModified(int id) {
    QWidget* w = control(id);
    if (auto* line = qobject_cast<QLineEdit*>(w)) return line->isModified();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) return edit->document()->isModified();
    return false;
}

}  // namespace ferrolux::qt
