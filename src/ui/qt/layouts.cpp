#include "ui/qt/layouts.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/qt/qt_window.h"

namespace ferrolux::qt {

namespace {

// Places controls in dialog units on one parent widget, the way a dialog
// template does. A control too low for its text grows about its centre.
class Placer {
  public:
    Placer(QtWindow& window, QWidget* parent) : w_(window), parent_(parent), u_(window.units()) {}

    template <class W>
    W* put(W* widget, int x, int y, int width, int height) {
        QRect r = u_.rect(x, y, width, height);
        const int need = widget->sizeHint().height();
        if (need > r.height() && !qobject_cast<QPlainTextEdit*>(widget)) {
            r.adjust(0, -(need - r.height()) / 2, 0, (need - r.height() + 1) / 2);
        }
        widget->setGeometry(r);
        return widget;
    }
    template <class W>
    W* control(int id, W* widget, int x, int y, int width, int height) {
        w_.addControl(id, widget);
        return put(widget, x, y, width, height);
    }

    QPushButton* button(int id, const char* caption, int x, int y, int width, int height) {
        return control(id, new QPushButton(caption, parent_), x, y, width, height);
    }
    QCheckBox* checkBox(int id, const char* caption, int x, int y, int width) {
        return control(id, new QCheckBox(caption, parent_), x, y, width, 10);
    }
    QRadioButton* radio(int id, const char* caption, int x, int y, int width, int height,
                        QButtonGroup* group) {
        auto* r = control(id, new QRadioButton(caption, parent_), x, y, width, height);
        group->addButton(r);
        return r;
    }
    QLineEdit* field(int id, int x, int y, int width, bool readOnly) {
        auto* f = control(id, new QLineEdit(parent_), x, y, width, 13);
        f->setReadOnly(readOnly);
        return f;
    }
    QLabel* label(const char* caption, int x, int y, int width) {
        return put(new QLabel(caption, parent_), x, y, width, 10);
    }
    QGroupBox* group(const char* caption, int x, int y, int width, int height) {
        auto* g = put(new QGroupBox(caption, parent_), x, y, width, height);
        g->lower();  // the group's frame stays behind its controls
        return g;
    }

  private:
    QtWindow& w_;
    QWidget* parent_;
    DialogUnits u_;
};

QAction* item(QtWindow& w, QMenu* menu, int id, const char* caption,
              QActionGroup* marks = nullptr) {
    QAction* a = menu->addAction(QString::fromLatin1(caption));
    if (marks != nullptr) {
        a->setCheckable(true);
        marks->addAction(a);  // one-of-many: drawn with radio marks
    }
    return w.registerAction(id, a);
}

void buildMenu(QtWindow& w, QMenuBar* bar) {
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    item(w, file, ctl::kOpenFile, "&Open INHX8M HEX file")->setShortcut(QKeySequence::Open);
    QMenu* recent = file->addMenu(QStringLiteral("&Recent Files"));
    recent->setObjectName(QStringLiteral("recent"));
    recent->setEnabled(false);
    item(w, file, ctl::kCloseFile, "&Close File")->setShortcut(QKeySequence::Close);
    file->addSeparator();
    item(w, file, ctl::kExitMenu, "E&xit")->setShortcut(QKeySequence::Quit);

    QMenu* port = bar->addMenu(QStringLiteral("&Port"));
    auto* ports = new QActionGroup(port);
    for (int id : ctl::kPortItems) {
        // The simulator and the USB adapters last, after the parallel ports.
        if (id == ctl::kPortSimulator || id == ctl::kPortFtdi || id == ctl::kPortFtdiSimulator)
            continue;
        if (id == ctl::kPort0278) port->addSeparator();
        item(w, port, id, ctl::portNameOf(id), ports);
        // The system's other serial devices after COM8, filled in at start-up.
        if (id == ctl::kPortCom8) {
            for (int i = 0; i < ctl::kPortDeviceItems; ++i)
                item(w, port, ctl::kPortDevice0 + i, "", ports)->setVisible(false);
        }
    }
    port->addSeparator();
    item(w, port, ctl::kPortFtdi, "FTDI USB adapter", ports)
        ->setToolTip(QStringLiteral(
            "The serial board on the first FTDI USB-serial adapter found, in bit-bang mode"));
    // One item per adapter found, filled in at start-up.
    for (int i = 0; i < ctl::kFtdiAdapterItems; ++i)
        item(w, port, ctl::kPortFtdiAdapter0 + i, "", ports)->setVisible(false);
    port->addSeparator();
    item(w, port, ctl::kPortSimulator, "Simulator", ports)
        ->setToolTip(QStringLiteral("The built-in simulated board SIM1 with a virtual chip"));
    item(w, port, ctl::kPortFtdiSimulator, "Simulator on FTDI", ports)
        ->setToolTip(QStringLiteral("The simulated board behind a simulated FTDI adapter"));
    port->setToolTipsVisible(true);

    QMenu* erase = bar->addMenu(QStringLiteral("&Erase"));
    item(w, erase, ctl::kEraseCode, "Bulk Erase &Code Memory");
    item(w, erase, ctl::kEraseData, "Bulk Erase &Data Memory");
    item(w, erase, ctl::kDisableProtection, "Disable Code&protection");

    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    item(w, options, ctl::kDataWindow, "&Data Window")->setShortcut(Qt::CTRL | Qt::Key_D);
    QMenu* speed = options->addMenu(QStringLiteral("&Speed"));
    auto* speeds = new QActionGroup(speed);
    const char* names[] = {"very low", "low", "medium", "high"};
    for (int i = 0; i < 4; ++i)
        item(w, speed, ctl::kSpeedVeryLow + i, names[i], speeds);
    item(w, options, ctl::kSerialNumberMenu, "Serial &Number...")
        ->setToolTip(QStringLiteral("Put a serial number into each chip Write programs"));
    options->setToolTipsVisible(true);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    item(w, help, ctl::kHelpTopics, "&Help Topics")->setShortcut(QKeySequence::HelpContents);
    item(w, help, ctl::kBoardTest, "&Board Test");
    item(w, help, ctl::kAbout, "&About Ferrolux");
}

// A field the user never edits: drawn flat on the window's colour, its text
// as readable when greyed as when enabled.
QLineEdit* showOnly(QLineEdit* field) {
    QPalette palette = field->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, palette.color(QPalette::Active, QPalette::Window));
    palette.setColor(QPalette::Disabled, QPalette::Text,
                     palette.color(QPalette::Active, QPalette::Text));
    field->setPalette(palette);
    field->setFocusPolicy(Qt::NoFocus);
    return field;
}

void buildConfigDialog(QtWindow& d) {
    d.setWindowTitle(QStringLiteral("Config-Word / ID's"));
    Placer p(d, &d);
    // Everything below the byte list's row is `down` lower.
    constexpr int down = 17;
    p.group("Config-Word", 7, 4, 323, 112 + down);
    // PIC18 chips: the configuration byte the boxes and the hex field show.
    p.label("Config byte", 14, 21, 44);
    auto* bytes = p.control(ctl::kConfigByteList, new QComboBox(&d), 60, 19, 110, 14);
    bytes->setMaxVisibleItems(14);
    bytes->setToolTip(
        QStringLiteral("PIC18 chips: the configuration byte the bit boxes and Hex Value show; "
                       "Write writes them all"));
    // Four columns: bits 13 and 12 in the lower rows, then 11-8, 7-4, 3-0.
    for (int bit = 13; bit >= 0; --bit) {
        const int column = bit >= 12 ? 0 : 3 - bit / 4;
        const int row = bit >= 12 ? 15 - bit : 3 - bit % 4;
        const int x = 14 + column * 79;
        const int y = 20 + down + row * 17;
        p.label(qPrintable(QStringLiteral("Bit %1").arg(bit)), x, y + 1, 24);
        p.control(ctl::kBitBox0 - bit, new QCheckBox(&d), x + 25, y + 1, 11, 10);
        auto* name = p.field(ctl::kBitLabel0 + bit, x + 37, y, 36, true);
        name->setFocusPolicy(Qt::NoFocus);
    }
    p.label("Hex Value", 14, 94 + down, 38);
    auto* hex = p.field(ctl::kHexValueField, 54, 92 + down, 40, false);
    hex->setMaxLength(7);
    p.button(ctl::kReadConfig, "Read", 110, 91 + down, 50, 15);
    p.button(ctl::kWriteConfig, "Write", 166, 91 + down, 50, 15);
    p.label("Word 2", 228, 94 + down, 30);
    auto* word2 = p.field(ctl::kConfig2Field, 260, 92 + down, 40, false);
    word2->setMaxLength(7);
    word2->setToolTip(
        QStringLiteral("The second configuration word (0x2008) of the chips "
                       "that have one, read and written with the first"));

    p.group("ID's", 7, 122 + down, 240, 54);
    for (int i = 0; i < 4; ++i) {
        const int x = 16 + i * 28;
        p.label(qPrintable(QStringLiteral("ID%1").arg(i)), x + 2, 134 + down, 20);
        p.field(ctl::kIdFields[i], x, 146 + down, 22, false);
    }
    p.button(ctl::kReadIds, "Read", 134, 145 + down, 50, 15);
    p.button(ctl::kWriteIds, "Write", 190, 145 + down, 50, 15);
    p.button(ctl::kDefaultButton, "Done", 274, 161 + down, 56, 15);
    d.setFixedSize(d.units().x(337), d.units().y(183 + down));
}

void buildDataWindow(QtWindow& d) {
    d.setWindowTitle(QStringLiteral("Data Memory"));
    Placer p(d, &d);
    // The data memory as a grid of bytes with an ASCII column, edited in place.
    auto* grid = p.control(ctl::kDataText, new QTableWidget(&d), 7, 7, 300, 160);
    grid->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    grid->setToolTip(
        QStringLiteral("Type a byte's two hex digits over it; Write Data writes "
                       "the grid to the chip"));
    p.button(ctl::kReadData, "Read Data", 313, 7, 52, 15);
    p.button(ctl::kWriteData, "Write Data", 313, 27, 52, 15);
    auto* status = p.field(ctl::kDataStatus, 313, 50, 52, true);
    status->setFocusPolicy(Qt::NoFocus);
    p.button(ctl::kLoadDataFile, "Load File...", 313, 72, 52, 15)
        ->setToolTip(QStringLiteral("Fill the grid from a hex file's data memory bytes"));
    p.button(ctl::kSaveDataFile, "Save File...", 313, 92, 52, 15)
        ->setToolTip(QStringLiteral("Save the grid alone as a hex file at the chip's "
                                    "data memory addresses"));
    p.button(ctl::kDefaultButton, "Exit", 313, 152, 52, 15);
    d.setFixedSize(d.units().x(372), d.units().y(174));
}

void buildParallelDialog(QtWindow& d) {
    d.setWindowTitle(QStringLiteral("Parallelport Interface"));
    Placer p(d, &d);
    auto* adapters = new QButtonGroup(&d);
    auto* vpp = new QButtonGroup(&d);
    p.button(ctl::kDefaultButton, "OK", 38, 98, 50, 14);
    p.radio(ctl::kAn589Radio, "AN589 based", 11, 6, 70, 8, adapters);
    p.radio(ctl::kNonInvertedRadio, "non inverted buffers", 10, 34, 80, 8, adapters);
    p.radio(ctl::kInvertedRadio, "inverted buffers", 10, 44, 80, 8, adapters);
    p.group("P16PRO / PP designs", 5, 22, 115, 70);
    p.radio(ctl::kVppD3Radio, "Vpp switched by D3", 10, 62, 80, 8, vpp);
    p.radio(ctl::kVppD4Radio, "Vpp switched by D4", 10, 74, 80, 8, vpp);
    d.setFixedSize(d.units().x(128), d.units().y(117));
}

void buildSerialDialog(QtWindow& d) {
    d.setWindowTitle(QStringLiteral("Serial Number"));
    Placer p(d, &d);
    p.checkBox(ctl::kSerialEnableBox, "Write puts a serial number into each chip", 7, 7, 180)
        ->setToolTip(QStringLiteral("The next number in place of what the file has there; "
                                    "counted on after each good write"));
    p.label("Where", 7, 24, 40);
    p.control(ctl::kSerialPlaceList, new QComboBox(&d), 50, 22, 110, 14);
    p.label("Address (hex)", 7, 42, 50);
    p.field(ctl::kSerialAddressField, 60, 40, 40, false)
        ->setToolTip(QStringLiteral("EEPROM offset, or code word address (PIC18: byte address)"));
    p.label("Bytes", 110, 42, 24);
    p.field(ctl::kSerialLengthField, 136, 40, 24, false);
    p.label("Format", 7, 60, 40);
    p.control(ctl::kSerialFormatList, new QComboBox(&d), 50, 58, 110, 14);
    p.label("Next number", 7, 78, 50);
    p.field(ctl::kSerialNextField, 60, 76, 100, false)
        ->setToolTip(QStringLiteral("Decimal, or hex with 0x"));
    p.button(ctl::kDefaultButton, "OK", 56, 98, 50, 14);
    p.button(ctl::kCancel, "Cancel", 112, 98, 50, 14);
    d.setFixedSize(d.units().x(194), d.units().y(120));
}

}  // namespace

void buildMainWindow(QtWindow& w) {
    w.setWindowTitle(QString::fromLatin1(ui::kMainTitle));
    w.setWindowIcon(programIcon());
    w.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                     Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                     Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    const DialogUnits u = w.units();

    auto* bar = new QMenuBar(&w);
    bar->setNativeMenuBar(false);
    buildMenu(w, bar);
    const int top = bar->sizeHint().height();
    const int width = u.x(361);
    bar->setGeometry(0, 0, width, top);

    auto* client = new QWidget(&w);
    client->setGeometry(0, top, width, u.y(253));
    Placer p(w, client);

    p.group("Write to PIC", 7, 4, 170, 98);
    p.button(ctl::kWriteButton, "&Write", 16, 20, 56, 16);
    p.checkBox(ctl::kWriteCodeBox, "Write Code", 82, 18, 90);
    p.checkBox(ctl::kWriteDataBox, "Write Data", 82, 34, 90)
        ->setToolTip(QStringLiteral("Write the file's data (EEPROM) records"));
    p.checkBox(ctl::kWriteConfigBox, "Write Config.Word", 82, 50, 90)
        ->setToolTip(QStringLiteral("Write the configuration word: the file's, or the one "
                                    "set under View / Set"));
    p.checkBox(ctl::kEraseBeforeWriteBox, "Erase bef. Write", 82, 66, 90)
        ->setToolTip(QStringLiteral("Erase the whole chip, code protection included, first"));
    p.checkBox(ctl::kKeepDataBox, "Keep Data Mem.", 14, 66, 66)
        ->setToolTip(QStringLiteral("Keep Data Memory: read the EEPROM before the erase and "
                                    "write it back after, unless the file brings its own"));
    p.checkBox(ctl::kLowVoltBox, "Low-Volt-Prog.", 82, 82, 90)
        ->setToolTip(QStringLiteral("Low-voltage programming: an AN589 adapter on a parallel "
                                    "port and a chip that supports it"));

    p.group("Verification", 184, 4, 170, 46);
    p.button(ctl::kVerifyButton, "&Verify", 193, 20, 56, 16);
    p.checkBox(ctl::kVerifyCodeBox, "Verify Code", 259, 18, 90);
    p.checkBox(ctl::kVerifyDataBox, "Verify Data", 259, 32, 90);

    p.group("Controller", 184, 56, 170, 46);
    auto* chips = p.control(ctl::kChipList, new QComboBox(client), 193, 68, 76, 14);
    chips->setMaxVisibleItems(20);
    chips->setToolTip(QStringLiteral("The chip type in the socket"));
    // The DEV-ID field names the chip the ID belongs to, so it gets a row of its own.
    p.label("DEV-ID", 193, 87, 26);
    showOnly(p.field(ctl::kDevIdField, 222, 85, 125, true))
        ->setToolTip(QStringLiteral("The device ID read from the chip, and the chip it names"));

    p.group("Readback", 7, 108, 170, 50);
    p.button(ctl::kSaveButton, "&Save", 16, 124, 56, 16)
        ->setToolTip(QStringLiteral("Read the whole chip into readback.hex or readback.txt"));
    auto* forms = new QButtonGroup(client);
    p.radio(ctl::kSaveHexRadio, "SAVE in INHX8M format", 82, 122, 92, 10, forms);
    p.radio(ctl::kSaveTextRadio, "SAVE in Textformat", 82, 138, 92, 10, forms);

    p.group("Configuration", 184, 108, 170, 50);
    p.button(ctl::kViewSetButton, "View / S&et", 193, 124, 56, 16)
        ->setToolTip(
            QStringLiteral("Show and edit the configuration word bit by bit, and the IDs"));
    showOnly(p.field(ctl::kConfigWordField, 259, 125, 88, true))
        ->setToolTip(QStringLiteral("The configuration word; on PIC18 chips the configuration "
                                    "bytes that differ from their erased values"));

    p.label("File", 9, 170, 28);
    showOnly(p.field(ctl::kFileField, 40, 168, 314, true));
    p.label("Status", 9, 188, 28);
    showOnly(p.field(ctl::kStatusField, 40, 186, 314, true));
    auto* progress = p.put(new QProgressBar(client), 40, 203, 314, 8);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setRange(0, 100);
    progress->setTextVisible(false);
    progress->setVisible(false);
    w.setProgressBar(progress);

    p.button(ctl::kExitButton, "E&xit", 298, 228, 56, 16);
    // The status bar: chip, port and the last checksum.
    auto* statusBar = new QLabel(&w);
    statusBar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar->setGeometry(0, top + u.y(253), width, u.y(11));
    statusBar->setToolTip(QStringLiteral("The chip, the port and the last checksum"));
    w.addControl(ctl::kStatusBar, statusBar);
    w.setFixedSize(width, top + u.y(264));
    w.setEscCloses(false);
    w.setAcceptDrops(true);
}

bool buildDialog(int dialogId, QtWindow& dialog) {
    switch (dialogId) {
        case ctl::kConfigDialog:
            buildConfigDialog(dialog);
            return true;
        case ctl::kDataMemoryDialog:
            buildDataWindow(dialog);
            return true;
        case ctl::kParallelDialog:
            buildParallelDialog(dialog);
            return true;
        case ctl::kSerialDialog:
            buildSerialDialog(dialog);
            return true;
        default:
            return false;
    }
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter paint(&pixmap);
        paint.setRenderHint(QPainter::Antialiasing);
        paint.scale(size / 64.0, size / 64.0);
        // Socket, legs, chip body and its notch, as in ferrolux.svg.
        paint.setPen(Qt::NoPen);
        paint.setBrush(QColor(0x2e, 0x7d, 0x32));
        paint.drawRoundedRect(QRectF(4, 4, 56, 56), 8, 8);
        paint.setBrush(QColor(0xcf, 0xd8, 0xdc));
        for (int i = 0; i < 4; ++i) {
            paint.drawRect(QRectF(12, 16 + i * 9, 8, 4));
            paint.drawRect(QRectF(44, 16 + i * 9, 8, 4));
        }
        paint.setBrush(QColor(0x26, 0x32, 0x38));
        paint.drawRoundedRect(QRectF(18, 10, 28, 44), 3, 3);
        paint.setBrush(QColor(0x2e, 0x7d, 0x32));
        paint.drawEllipse(QPointF(32, 10), 5, 5);
        paint.setBrush(QColor(0xff, 0xc1, 0x07));
        QPainterPath bolt;
        bolt.moveTo(35, 20);
        bolt.lineTo(26, 34);
        bolt.lineTo(32, 34);
        bolt.lineTo(29, 46);
        bolt.lineTo(38, 30);
        bolt.lineTo(32, 30);
        bolt.closeSubpath();
        paint.drawPath(bolt);
        paint.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace ferrolux::qt
