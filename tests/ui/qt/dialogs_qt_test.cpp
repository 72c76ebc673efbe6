#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>

#include "qt_rig.h"
#include "sim/virtual_pic.h"
#include "ui/parallel_dialog.h"

namespace ferrolux::test {
namespace {

qt::QtWindow* dialogOf(QWidget* w) {
    return dynamic_cast<qt::QtWindow*>(w);
}

template <class W = QWidget>
W* in(qt::QtWindow& d, int id) {
    return d.findChild<W*>(QString::number(id));
}

// Runs `body` on the dialog that `command` opens; a dialog the body leaves
// open is ended so that a failing test cannot hang.
void onDialog(QtRig& rig, int command, const std::function<void(qt::QtWindow&)>& body,
              QString* title = nullptr) {
    bool ran = false;
    rig.modals.then([&](QWidget* w) {
        qt::QtWindow* d = dialogOf(w);
        ASSERT_NE(d, nullptr);
        ran = true;
        if (title != nullptr) *title = d->windowTitle();
        body(*d);
        if (!d->ended()) d->endDialog(ctl::kCancel);
    });
    if (QAction* a = rig.action(command)) {
        a->trigger();
    } else {
        QTest::mouseClick(rig.find(command), Qt::LeftButton);
    }
    EXPECT_TRUE(ran);
}

void typeInto(QWidget* field, const QString& text) {
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
}

// What the box of bit `bit` shows for `word`, by the chip's label of that bit.
bool boxShows(qt::QtWindow& d, int bit, int word) {
    const bool activeLow = d.text(ctl::kBitLabel0 + bit).rfind('/', 0) == 0;
    return ((word >> bit) & 1) != activeLow;
}

TEST(QtConfigDialog, BitsStandInFourColumnsAndIdsInOrder) {
    QtRig rig;
    rig.startOn("PIC16F628A");
    QString title;
    onDialog(
        rig, ctl::kViewSetButton,
        [&](qt::QtWindow& d) {
            auto box = [&](int bit) { return in(d, ctl::kBitBox0 - bit)->geometry(); };
            for (int bit = 0; bit < 14; ++bit) {
                ASSERT_NE(in<QCheckBox>(d, ctl::kBitBox0 - bit), nullptr) << bit;
                ASSERT_NE(in<QLineEdit>(d, ctl::kBitLabel0 + bit), nullptr) << bit;
            }
            // Columns left to right: 13-12, 11-8, 7-4, 3-0; the higher bit on top.
            EXPECT_LT(box(13).x(), box(11).x());
            EXPECT_LT(box(8).x(), box(7).x());
            EXPECT_LT(box(4).x(), box(3).x());
            EXPECT_EQ(box(11).x(), box(8).x());
            EXPECT_LT(box(3).y(), box(0).y());
            EXPECT_EQ(box(13).y(), box(9).y());
            EXPECT_EQ(box(12).y(), box(8).y());
            EXPECT_EQ(d.text(ctl::kBitLabel0), "FOSC0");
            int lastX = -1;
            for (int id : ctl::kIdFields) {
                EXPECT_GT(in(d, id)->x(), lastX) << id;
                lastX = in(d, id)->x();
            }
            QStringList statics;
            for (auto* l : d.findChildren<QLabel*>())
                statics << l->text();
            for (const char* t : {"Bit 13", "Bit 0", "Hex Value", "ID0", "ID3"}) {
                EXPECT_TRUE(statics.contains(t)) << t;
            }
            EXPECT_EQ(in<QPushButton>(d, ctl::kDefaultButton)->text(), "Done");
            QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
        },
        &title);
    EXPECT_EQ(title, "Config-Word / ID's");
}

TEST(QtConfigDialog, BoxesFollowTheHexField) {
    QtRig rig;
    rig.startOn("PIC16F628A");
    onDialog(rig, ctl::kViewSetButton, [&](qt::QtWindow& d) {
        EXPECT_EQ(d.text(ctl::kHexValueField), "3FFF");
        typeInto(in(d, ctl::kHexValueField), "2f61");
        EXPECT_EQ(rig.s().configWord, 0x2F61);
        for (int bit = 0; bit < 14; ++bit) {
            EXPECT_EQ(in<QCheckBox>(d, ctl::kBitBox0 - bit)->isChecked(), boxShows(d, bit, 0x2F61))
                << bit;
        }
        // A click on the box of bit 1 rebuilds the word and the field.
        QTest::mouseClick(in(d, ctl::kBitBox0 - 1), Qt::LeftButton);
        const int word = 0x2F61 ^ 0x0002;
        EXPECT_EQ(rig.s().configWord, word);
        EXPECT_EQ(d.text(ctl::kHexValueField), "2F63");
        // Text that is no hex number leaves the word alone.
        typeInto(in(d, ctl::kHexValueField), "xyz");
        EXPECT_EQ(rig.s().configWord, word);
        typeInto(in(d, ctl::kIdFields[2]), "b");
        EXPECT_EQ(rig.s().idValues[2], 0xB);
        QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
        EXPECT_TRUE(d.ended());
    });
    EXPECT_EQ(rig.text(ctl::kConfigWordField).substr(0, 4), "2F63");
}

TEST(QtConfigDialog, DoneRefusesAWordAbove3FFF) {
    QtRig rig;
    rig.startOn("PIC16F628A");
    onDialog(rig, ctl::kViewSetButton, [&](qt::QtWindow& d) {
        typeInto(in(d, ctl::kHexValueField), "FFFF");
        QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
        EXPECT_FALSE(d.ended());
        EXPECT_EQ(rig.modals.boxes().back(), "Error!: Configword Value?");
        QTest::keyClick(&d, Qt::Key_Escape);
        EXPECT_TRUE(d.ended());
    });
}

TEST(QtConfigDialog, ReadTakesTheChipsWord) {
    QtRig rig;
    rig.startOn("PIC16F628A");
    rig.program->program().host.simChip()->setConfigWord(0x2007, 0x3F62);
    onDialog(rig, ctl::kViewSetButton, [&](qt::QtWindow& d) {
        QTest::mouseClick(in(d, ctl::kReadConfig), Qt::LeftButton);
        EXPECT_EQ(d.text(ctl::kHexValueField), "3F62");
        EXPECT_EQ(in<QCheckBox>(d, ctl::kBitBox0 - 1)->isChecked(), boxShows(d, 1, 0x3F62));
        QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
    });
    EXPECT_TRUE(rig.modals.boxes().empty());
}

QString line(QPlainTextEdit* edit, int n) {
    return edit->document()->findBlockByNumber(n).text();
}

void placeCaret(QPlainTextEdit* edit, int lineNo, int column, int select = 0) {
    QTextCursor c(edit->document()->findBlockByNumber(lineNo));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
    c.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, select);
    edit->setTextCursor(c);
    edit->setFocus();
}

TEST(QtDataWindow, ShowsTheBytesAndUndoesAnEditInAnOffset) {
    QtRig rig;
    rig.startOn("PIC16F628A");
    rig.program->program().host.simChip()->setDataByte(3, 0xA5);
    QString title;
    onDialog(
        rig, ctl::kDataWindow,
        [&](qt::QtWindow& d) {
            auto* edit = in<QPlainTextEdit>(d, ctl::kDataText);
            ASSERT_NE(edit, nullptr);
            EXPECT_TRUE(edit->font().fixedPitch() || QFontInfo(edit->font()).fixedPitch());
            EXPECT_EQ(edit->document()->blockCount(), 129);  // 128 lines and an empty one
            EXPECT_EQ(line(edit, 3), "0003: A5 ");
            EXPECT_EQ(line(edit, 127), "007F: FF ");
            EXPECT_EQ(d.text(ctl::kDataText).substr(0, 22), "0000: FF \r\n0001: FF \r\n");

            // Over the digits of line 5: kept, and typed in capitals.
            placeCaret(edit, 5, 6, 2);
            QTest::keyClicks(edit, "3c");
            EXPECT_EQ(line(edit, 5), "0005: 3C ");
            // Into the offset of line 7: undone at once.
            placeCaret(edit, 7, 2);
            QTest::keyClicks(edit, "9");
            EXPECT_EQ(line(edit, 7), "0007: FF ");
            // Undoing restores the digits taken so far.
            EXPECT_EQ(line(edit, 5), "0005: 3C ");
            EXPECT_FALSE(edit->document()->isModified());

            QTest::mouseClick(in(d, ctl::kWriteData), Qt::LeftButton);
            EXPECT_EQ(d.text(ctl::kDataStatus), " ");
            QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
            EXPECT_TRUE(d.ended());
        },
        &title);
    EXPECT_EQ(title, "Data Memory");
    EXPECT_EQ(rig.program->program().host.simChip()->dataByte(5), 0x3C);
    EXPECT_EQ(rig.program->program().host.simChip()->dataByte(3), 0xA5);
    EXPECT_TRUE(rig.modals.boxes().empty());
}

// The parallel dialog's own logic, without the adapter test at closing.
class NoTestAtClose : public ui::DialogHandler {
  public:
    explicit NoTestAtClose(ui::ParallelDialog& dialog) : inner_(dialog) {}
    void opened(ui::Window& d) override { inner_.opened(d); }
    void command(ui::Window& d, int id) override {
        if (id == ctl::kDefaultButton || id == ctl::kCancel) {
            d.endDialog(1);
        } else {
            inner_.command(d, id);
        }
    }

  private:
    ui::ParallelDialog& inner_;
};

TEST(QtParallelDialog, AdapterAndVppChoicesAreTwoGroups) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    rig.s().link.adapter = '1';
    rig.s().link.vppLine = '3';
    ui::ParallelDialog logic(rig.s(), rig.window());
    NoTestAtClose handler(logic);
    rig.modals.then([&](QWidget* w) {
        qt::QtWindow* d = dialogOf(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), "Parallelport Interface");
        auto* an589 = in<QRadioButton>(*d, ctl::kAn589Radio);
        auto* inverted = in<QRadioButton>(*d, ctl::kInvertedRadio);
        auto* d4 = in<QRadioButton>(*d, ctl::kVppD4Radio);
        ASSERT_TRUE(an589 && inverted && d4);
        EXPECT_TRUE(an589->isChecked());
        EXPECT_FALSE(d4->isEnabled());
        // The group box does not cover the buttons inside it.
        EXPECT_EQ(d->childAt(inverted->geometry().center()), inverted);
        QTest::mouseClick(inverted, Qt::LeftButton);
        EXPECT_EQ(rig.s().link.adapter, '3');
        EXPECT_FALSE(an589->isChecked());
        EXPECT_TRUE(d4->isEnabled());
        QTest::mouseClick(d4, Qt::LeftButton);
        EXPECT_EQ(rig.s().link.vppLine, '4');
        EXPECT_TRUE(inverted->isChecked());
        EXPECT_FALSE(in<QRadioButton>(*d, ctl::kVppD3Radio)->isChecked());
        QTest::mouseClick(in(*d, ctl::kDefaultButton), Qt::LeftButton);
        if (!d->ended()) d->endDialog(2);
    });
    EXPECT_EQ(rig.window().runDialog(ctl::kParallelDialog, handler), 1);
    EXPECT_EQ(rig.modals.pending(), 0u);
}

TEST(QtParallelDialog, TheProgramMayClearEveryButtonOfAGroup) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    rig.s().link.adapter = '2';
    rig.s().link.vppLine = '4';
    ui::ParallelDialog logic(rig.s(), rig.window());
    NoTestAtClose handler(logic);
    rig.modals.then([&](QWidget* w) {
        qt::QtWindow* d = dialogOf(w);
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(d->isChecked(ctl::kNonInvertedRadio));
        EXPECT_TRUE(d->isChecked(ctl::kVppD4Radio));
        d->check(ctl::kNonInvertedRadio, false);
        for (int id : {ctl::kAn589Radio, ctl::kNonInvertedRadio, ctl::kInvertedRadio}) {
            EXPECT_FALSE(d->isChecked(id)) << id;
        }
        EXPECT_TRUE(d->isChecked(ctl::kVppD4Radio));
        // The group stays exclusive for the user.
        QTest::mouseClick(in(*d, ctl::kAn589Radio), Qt::LeftButton);
        QTest::mouseClick(in(*d, ctl::kInvertedRadio), Qt::LeftButton);
        EXPECT_FALSE(d->isChecked(ctl::kAn589Radio));
        d->endDialog(1);
    });
    EXPECT_EQ(rig.window().runDialog(ctl::kParallelDialog, handler), 1);
}

}  // namespace
}  // namespace ferrolux::test
