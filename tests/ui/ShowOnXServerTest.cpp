// The show keys on a real X server, pressed through XTEST as a keyboard
// presses them: the X focus, not a test, decides which widget gets them.
// The parent test starts Xvfb and runs this program again on it.
#include "OneCardStation.h"
#include "support/Wait.h"

#include "CardBank.h"
#include "LiveTestSupport.h"
#include "PlatformTestSupport.h"
#include "XTestClient.h"

#include "ui/LineListView.h"
#include "ui/ManualControlForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>

namespace {

constexpr char kChildVariable[] = "STATION_SHOW_X11_CHILD";

constexpr xcb_keysym_t kSpace = 0x0020;
constexpr xcb_keysym_t kReturn = 0xFF0D;
constexpr xcb_keysym_t kTab = 0xFF09;
constexpr xcb_keysym_t kPageUp = 0xFF55;
constexpr xcb_keysym_t kPageDown = 0xFF56;
constexpr xcb_keysym_t kF5 = 0xFFC2;

class ShowOnXServer : public OneCardStation {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty(kChildVariable)) {
            GTEST_SKIP() << "runs under Xvfb, started by ShowOnXServerRun.KeysFromARealKeyboard";
        }
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(m_keyboard.ok());
        OneCardStation::SetUp();
    }

    // A restored playlist of a twelve-line text script on the horizontal
    // screen with the simulated card.
    TMainForm& StartShow() {
        QStringList lines;
        for (int i = 1; i <= 12; ++i) {
            lines << QStringLiteral("第%1句台词").arg(i);
        }
        const QString script = WriteLines(QStringLiteral("script.txt"), lines);
        SettingsStore store = OneCardConfig(WriteLines(QStringLiteral("show.lft"), {script}), true);
        WriteConfig(store);
        return Start();
    }

    // Taps a key and lets the station take it.
    void Tap(xcb_keysym_t key) {
        m_keyboard.Tap(key);
        // The X server delivers in order: a round trip through the keyboard's
        // own connection, then the station's events.
        m_keyboard.FocusedWindow();
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }

    // Steps with `key` until the player shows `line`, and the card with it.
    void ExpectLine(TMainForm& w, qsizetype line) {
        ASSERT_EVENTUALLY_EQ(w.player().selectedLine(), line, 10000);
        const QImage expected =
            Thresholded(w.renderer().previewImage(ScreenId::h), ColourKind::Dual);
        ASSERT_EVENTUALLY_EQ(m_bank->Displayed(m_card.mac), expected, 10000);
    }

    XTestClient m_keyboard;
};

TEST_F(ShowOnXServer, SpaceEnterAndPageDownStepTheCardsWhereverTheFocusIs) {
    TMainForm& w = StartShow();
    m_keyboard.Focus(xcb_window_t(w.winId()));
    ASSERT_EVENTUALLY(w.isActiveWindow(), 10000);
    Tap(kF5);
    ASSERT_EVENTUALLY(w.live().IsConnected(), 20000);
    const int disconnects = card().disconnects;
    const int swaps = SettledSwaps(w);

    // Tab round into the line list: the focus moves, no line is sent.
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    find<QWidget>(QStringLiteral("ComboBoxPlayMode"))->setFocus();
    for (int i = 0; i < 12 && QApplication::focusWidget() != lines; ++i) {
        Tap(kTab);
    }
    EXPECT_EQ(QApplication::focusWidget(), lines);
    EXPECT_EQ(w.player().selectedLine(), -1);
    EXPECT_EQ(card().swaps, swaps);

    Tap(kSpace);
    ExpectLine(w, 0);
    Tap(kReturn);
    ExpectLine(w, 1);
    Tap(kPageDown);
    ExpectLine(w, 2);

    // Whatever button of the playlist page has the focus, the keys step.
    qsizetype at = 2;
    for (const char* name : {"CButtonPlay", "CButtonPlayFromHere", "CButtonPause", "CButtonStop",
                             "CButtonNew", "CButtonAdd", "CButtonDel"}) {
        find<QAbstractButton>(QString::fromLatin1(name))->setFocus();
        Tap(at >= 10 ? kPageUp : kSpace);
        at += at >= 10 ? -1 : 1;
        SCOPED_TRACE(name);
        ExpectLine(w, at);
        ASSERT_TRUE(w.live().IsConnected());
    }

    // A click on 下一条 in the manual window, then the keys again.
    auto* next = w.manualControl().findChild<QPushButton*>(QStringLiteral("CButtonDel"));
    const QPoint centre = next->mapToGlobal(next->rect().center());
    m_keyboard.Click(centre.x(), centre.y());
    ExpectLine(w, at + 1);
    Tap(kSpace);
    ExpectLine(w, at + 2);
    Tap(kPageUp);
    ExpectLine(w, at + 1);

    EXPECT_TRUE(w.live().IsConnected());
    EXPECT_EQ(card().disconnects, disconnects);
    EXPECT_EQ(w.player().selectedEntry(), 0);
    Tap(kF5);
    ASSERT_EVENTUALLY(!w.live().IsConnected(), 20000);
}

} // namespace

TEST(ShowOnXServerRun, KeysFromARealKeyboard) {
    if (!qEnvironmentVariableIsEmpty(kChildVariable)) {
        GTEST_SKIP() << "this is the child";
    }
    const XvfbChild child = RunOnXvfb(QStringLiteral("ShowOnXServer.*"), kChildVariable,
                                      QStringLiteral("1600x1200x24"), 300000);
    if (!child.serverFound) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    ASSERT_TRUE(child.started) << child.output.toStdString();
    ASSERT_TRUE(child.finished) << child.output.toStdString();
    EXPECT_EQ(child.exitCode, 0) << child.output.toStdString();
    EXPECT_TRUE(child.output.contains(QLatin1String("[  PASSED  ] 1 test.")))
        << child.output.toStdString();
}
