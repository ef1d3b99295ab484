// The show keys as an operator presses them: whatever has the keyboard focus
// in the station's windows, Space, Enter and Page Down step forward and Page
// Up back; moving the focus never sends a line, and no key that steps lines
// closes the link or opens another entry.
#include "OneCardStation.h"
#include "support/Wait.h"

#include "CardBank.h"
#include "LiveTestSupport.h"

#include "ui/LineListView.h"
#include "ui/ManualControlForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>

#include <chrono>

namespace {

class ShowKeysTest : public OneCardStation {
protected:
    // A playlist of a ten-line text script and a second script, on the
    // horizontal screen with the simulated card; the first entry is opened.
    TMainForm& StartShow() {
        QStringList lines;
        for (int i = 1; i <= 10; ++i) {
            lines << QStringLiteral("第%1句").arg(i);
        }
        const QString first = WriteLines(QStringLiteral("script.txt"), lines);
        const QString second =
            WriteLines(QStringLiteral("other.txt"), {QStringLiteral("另一个剧本")});
        const QString playlist = WriteLines(QStringLiteral("show.lft"), {first, second});
        SettingsStore store = OneCardConfig(playlist, true);
        WriteConfig(store);
        TMainForm& w = Start();
        EXPECT_EQ(w.player().selectedEntry(), 0);
        return w;
    }

    // The key goes where the keyboard focus is, as on a real desktop.
    static void Press(Qt::Key key) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key);
    }
};

TEST_F(ShowKeysTest, AfterStartTheKeyboardIsInTheLineListAndNoButtonCanTakeIt) {
    TMainForm& w = StartShow();
    EXPECT_EQ(QApplication::focusWidget(), find<LineListView>(QStringLiteral("ListView1")));
    for (QAbstractButton* button : w.findChildren<QAbstractButton*>()) {
        if (button->window() == &w) { // not the dialogs the window owns
            EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << button->objectName().toStdString();
        }
    }
    for (QAbstractButton* button : w.manualControl().findChildren<QAbstractButton*>()) {
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << button->objectName().toStdString();
    }
    EXPECT_EQ(find<QTreeWidget>(QStringLiteral("ListViewFileList"))->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(find<QTabWidget>(QStringLiteral("PageControl1"))->tabBar()->focusPolicy(),
              Qt::NoFocus);
    // Moving the focus around selected nothing, so nothing was sent.
    EXPECT_EQ(w.player().selectedLine(), -1);
}

// Wherever the focus was left (a control the operator touched before the
// show, or one Qt chose), the show keys step lines and never press anything.
TEST_F(ShowKeysTest, ShowKeysStepLinesWhateverHasTheFocus) {
    TMainForm& w = StartShow();
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());
    const int disconnects = card().disconnects;
    // The blank frame of the connect may still be on its way on a loaded
    // machine; the line's swap is counted after it.
    ASSERT_TRUE(w.worker().WaitUntilIdle(std::chrono::seconds(10)));
    const int swaps = card().swaps;

    // The first Space with no line selected selects and sends line 1.
    find<QAbstractButton>(QStringLiteral("CButtonPlay"))->setFocus();
    Press(Qt::Key_Space);
    EXPECT_EQ(w.player().selectedLine(), 0);
    ASSERT_EVENTUALLY_EQ(card().swaps, swaps + 1, 10000);

    const QStringList holders{
        QStringLiteral("CButtonPlay"),      QStringLiteral("CButtonStop"),
        QStringLiteral("CButtonDel"),       QStringLiteral("ListViewFileList"),
        QStringLiteral("ComboBoxPlayMode"), QStringLiteral("CheckBoxAutoCaption"),
        QStringLiteral("ListView1")};
    qsizetype expected = 0;
    for (const QString& holder : holders) {
        for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_PageDown}) {
            find<QWidget>(holder)->setFocus();
            if (expected == 8) {
                Press(Qt::Key_PageUp);
                expected -= 1;
                ASSERT_EQ(w.player().selectedLine(), expected) << holder.toStdString();
            }
            Press(key);
            expected = std::min<qsizetype>(expected + 1, 9);
            ASSERT_EQ(w.player().selectedLine(), expected)
                << holder.toStdString() << " key " << key;
        }
    }
    // Nothing was pressed on the way: the link is open, the entry the same,
    // the check box and the play mode untouched.
    EXPECT_TRUE(w.live().IsConnected());
    EXPECT_EQ(card().disconnects, disconnects);
    EXPECT_EQ(w.player().selectedEntry(), 0);
    EXPECT_FALSE(find<QCheckBox>(QStringLiteral("CheckBoxAutoCaption"))->isChecked());
    EXPECT_EQ(w.player().state(), PlayerState::Ready);
    QTest::keyClick(&w, Qt::Key_F5);
}

TEST_F(ShowKeysTest, TypingIntoAFieldKeepsItsOwnKeys) {
    TMainForm& w = StartShow();
    auto* interval = find<QSpinBox>(QStringLiteral("UpDown1"));
    const int before = interval->value();
    interval->setFocus();
    Press(Qt::Key_PageUp);
    EXPECT_NE(interval->value(), before);
    Press(Qt::Key_Return);
    EXPECT_EQ(w.player().selectedLine(), -1);
}

TEST_F(ShowKeysTest, MovingTheFocusIntoTheLineListSendsNothing) {
    TMainForm& w = StartShow();
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());
    // The blank frame of the connect may still be on its way on a loaded machine.
    ASSERT_TRUE(w.worker().WaitUntilIdle(std::chrono::seconds(10)));
    const int swaps = card().swaps;
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));

    // Tab from the play-mode box comes round to the list.
    find<QWidget>(QStringLiteral("ComboBoxPlayMode"))->setFocus();
    for (int i = 0; i < 12 && QApplication::focusWidget() != lines; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    ASSERT_EQ(QApplication::focusWidget(), lines);
    EXPECT_EQ(w.player().selectedLine(), -1);
    EXPECT_EQ(lines->selectedRow(), -1);

    // The editing page shows the list too: still no line.
    QTest::keyClick(&w, Qt::Key_F5);
    find<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
    lines->clearFocus();
    lines->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w.player().selectedLine(), -1);
    find<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(0);
    EXPECT_EQ(w.player().selectedLine(), -1);
    ASSERT_TRUE(w.worker().WaitUntilIdle(std::chrono::seconds(10)));
    EXPECT_EQ(card().swaps, swaps);

    // An explicit click still chooses the line the focus did not.
    lines->setCurrentIndex(lines->model()->index(0, 1));
    EXPECT_EQ(w.player().selectedLine(), 0);
}

TEST_F(ShowKeysTest, AfterAPressInTheManualWindowTheKeysStepOn) {
    TMainForm& w = StartShow();
    Tkey_Form& manual = w.manualControl();
    manual.activateWindow();
    manual.findChild<QPushButton*>(QStringLiteral("CButtonDel"))->click();
    EXPECT_EQ(w.player().selectedLine(), 0);
    ASSERT_EVENTUALLY_EQ(QApplication::focusWidget(),
                         find<LineListView>(QStringLiteral("ListView1")), 10000);
    Press(Qt::Key_Space);
    EXPECT_EQ(w.player().selectedLine(), 1);
    Press(Qt::Key_Return);
    EXPECT_EQ(w.player().selectedLine(), 2);
    manual.findChild<QPushButton*>(QStringLiteral("CButtonAdd"))->click();
    EXPECT_EQ(w.player().selectedLine(), 1);
    // Keys pressed while the manual window itself has the keyboard step too.
    manual.activateWindow();
    manual.findChild<QPushButton*>(QStringLiteral("CButtonAdd"))->setFocus();
    QTest::keyClick(manual.findChild<QPushButton*>(QStringLiteral("CButtonAdd")), Qt::Key_Space);
    EXPECT_EQ(w.player().selectedLine(), 2);
}

TEST_F(ShowKeysTest, OpeningAnEntryPutsTheKeyboardInTheLineList) {
    TMainForm& w = StartShow();
    auto* files = find<QTreeWidget>(QStringLiteral("ListViewFileList"));
    files->setCurrentItem(files->topLevelItem(1));
    EXPECT_EQ(w.player().selectedEntry(), 1);
    EXPECT_EQ(QApplication::focusWidget(), find<LineListView>(QStringLiteral("ListView1")));
    Press(Qt::Key_Space);
    EXPECT_EQ(w.player().selectedLine(), 0);
    EXPECT_EQ(w.player().selectedEntry(), 1);
}

} // namespace
