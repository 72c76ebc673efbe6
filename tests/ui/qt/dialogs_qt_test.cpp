#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTextBlock>

#include "qt_rig.h"
#include "sim/virtual_pic.h"
#include "ui/parallel_dialog.h"

namespace ferrolux::test {
namespace {

template <class W = QWidget>
W* in(qt::QtWindow& d, int id) {
    auto* w = d.findChild<W*>(QString::number(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
}

// Runs `body` on the dialog that `open` opens; a dialog the body leaves
// open is ended so that a failing test cannot hang.
void onDialog(QtRig& rig, const std::function<void()>& open,
              const std::function<void(qt::QtWindow&)>& body) {
    bool ran = false;
    rig.modals.onDialog = [&](QWidget* w) {
        auto* d = dynamic_cast<qt::QtWindow*>(w);
        ASSERT_NE(d, nullptr);
        ran = true;
        body(*d);
        if (!d->ended()) d->endDialog(ctl::kCancel);
    };
    open();
    EXPECT_TRUE(ran);
}

TEST(QtConfigDialog, BoxesFollowTheHexField) {
    QtRig rig;
    rig.startOnSimulator();
    onDialog(
        rig, [&] { rig.click(ctl::kViewSetButton); },
        [&](qt::QtWindow& d) {
            QWidget* hex = in(d, ctl::kHexValueField);
            hex->setFocus();
            QTest::keyClick(hex, Qt::Key_A, Qt::ControlModifier);  // replaces the 3FFF shown
            QTest::keyClicks(hex, "2f61");
            EXPECT_EQ(rig.s().chip.configWord, 0x2F61);
            for (int bit = 0; bit < 14; ++bit) {
                // A label starting with '/' names an active-low bit.
                auto* label = in<QLineEdit>(d, ctl::kBitLabel0 + bit);
                auto* box = in<QCheckBox>(d, ctl::kBitBox0 - bit);
                ASSERT_TRUE(label && box);
                EXPECT_EQ(box->isChecked(), ((0x2F61 >> bit) & 1) != label->text().startsWith('/'))
                    << bit;
            }
            QTest::mouseClick(in(d, ctl::kBitBox0 - 1), Qt::LeftButton);
            EXPECT_EQ(rig.s().chip.configWord, 0x2F63);
            EXPECT_EQ(d.text(ctl::kHexValueField), "2F63");
            QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
            EXPECT_TRUE(d.ended());
        });
    EXPECT_EQ(rig.window().text(ctl::kConfigWordField).substr(0, 4), "2F63");
}

TEST(QtDataWindow, KeepsAnEditOfTheDigitsAndUndoesOneInAnOffset) {
    QtRig rig;
    rig.startOnSimulator();
    auto* chip = rig.program->program().host.simChip();
    onDialog(
        rig, [&] { rig.action(ctl::kDataWindow)->trigger(); },
        [&](qt::QtWindow& d) {
            auto* edit = in<QPlainTextEdit>(d, ctl::kDataText);
            ASSERT_NE(edit, nullptr);
            auto line = [&](int n) { return edit->document()->findBlockByNumber(n).text(); };
            auto typeAt = [&](int lineNo, int column, int select, const char* keys) {
                QTextCursor c(edit->document()->findBlockByNumber(lineNo));
                c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
                c.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, select);
                edit->setTextCursor(c);
                QTest::keyClicks(edit, keys);
            };
            EXPECT_EQ(d.text(ctl::kDataText).substr(0, 22), "0000: FF \r\n0001: FF \r\n");
            // Over the digits of line 5: kept, and typed in capitals.
            typeAt(5, 6, 2, "3c");
            EXPECT_EQ(line(5), "0005: 3C ");
            // Into the offset of line 7 (a position the program counts with CR LF): undone.
            typeAt(7, 2, 0, "9");
            EXPECT_EQ(line(7), "0007: FF ");
            EXPECT_EQ(line(5), "0005: 3C ");
            QTest::mouseClick(in(d, ctl::kWriteData), Qt::LeftButton);
            QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
            EXPECT_TRUE(d.ended());
        });
    EXPECT_EQ(chip->dataByte(5), 0x3C);
    EXPECT_EQ(chip->dataByte(7), 0xFF);
    EXPECT_TRUE(rig.modals.boxes.empty());
}

TEST(QtParallelDialog, TwoExclusiveGroupsThatTheProgramMayClear) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    ui::ParallelDialog logic(rig.s(), rig.window());
    int result = 0;
    onDialog(
        rig, [&] { result = rig.window().runDialog(ctl::kParallelDialog, logic); },
        [&](qt::QtWindow& d) {
            // The group box does not cover the buttons inside it.
            QWidget* inverted = in(d, ctl::kInvertedRadio);
            EXPECT_EQ(d.childAt(inverted->geometry().center()), inverted);
            QTest::mouseClick(inverted, Qt::LeftButton);
            EXPECT_EQ(rig.s().link.adapter, '3');
            QTest::mouseClick(in(d, ctl::kVppD4Radio), Qt::LeftButton);
            EXPECT_EQ(rig.s().link.vppLine, '4');
            EXPECT_TRUE(d.isChecked(ctl::kInvertedRadio));
            // The program may clear a whole group; it stays exclusive for the user.
            d.check(ctl::kInvertedRadio, false);
            EXPECT_FALSE(d.isChecked(ctl::kInvertedRadio));
            EXPECT_TRUE(d.isChecked(ctl::kVppD4Radio));
            QTest::mouseClick(in(d, ctl::kAn589Radio), Qt::LeftButton);
            QTest::mouseClick(in(d, ctl::kNonInvertedRadio), Qt::LeftButton);
            EXPECT_FALSE(d.isChecked(ctl::kAn589Radio));
            d.endDialog(7);  // OK would test the adapter on the port
        });
    EXPECT_EQ(result, 7);
}

}  // namespace
}  // namespace ferrolux::test
