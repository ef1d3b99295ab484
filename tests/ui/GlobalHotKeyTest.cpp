#include "ui/GlobalHotKey.h"

#include "PlatformTestSupport.h"
#include "XTestClient.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QShortcut>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

namespace {

const QString kSystemWideNote = QStringLiteral("F4 清屏：全局热键");
const QString kLocalNote = QStringLiteral("F4 清屏：仅在本程序内有效（无法注册全局热键）");

// Set by the X11 test for the copy of this program it runs under Xvfb.
constexpr char kChildVariable[] = "STATION_HOTKEY_X11_CHILD";

} // namespace

TEST(GlobalHotKey, WithoutX11AnApplicationShortcutFiresOncePerPress) {
    ASSERT_NE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QLineEdit(&window);
    layout->addWidget(edit);
    auto* key = new GlobalHotKey(&window);
    EXPECT_FALSE(key->isSystemWide());
    EXPECT_EQ(key->statusNote(), kLocalNote);
    QSignalSpy spy(key, &GlobalHotKey::activated);

    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F4);
    EXPECT_EQ(spy.count(), 1);
    // From a child that has the focus as well.
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F4);
    EXPECT_EQ(spy.count(), 2);
    // F4 with a modifier is another key.
    QTest::keyClick(edit, Qt::Key_F4, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_F4, Qt::AltModifier);
    EXPECT_EQ(spy.count(), 2);

    // Application-wide: another window of the station may have the focus.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QTest::keyClick(&other, Qt::Key_F4);
    EXPECT_EQ(spy.count(), 3);

    // Gone with its object: the window gets F4 back as an ordinary key.
    delete key;
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F4);
    EXPECT_EQ(spy.count(), 3);
    EXPECT_TRUE(window.findChildren<QShortcut*>().isEmpty());
}

// ---- On a real X server -------------------------------------------------
//
// The parent test starts Xvfb and runs this program again with the child
// variable set, on the xcb platform; only then do the GlobalHotKeyOnX11
// tests run. They drive the server from a second X client with XTEST, the
// way a keyboard would.

namespace {

constexpr xcb_keysym_t kF4 = 0xFFC1;
constexpr xcb_keysym_t kF5 = 0xFFC2;
constexpr xcb_keysym_t kNumLock = 0xFF7F;
constexpr xcb_keysym_t kCapsLock = 0xFFE5;

// Another program on the same display, which can also hold F4 itself.
class OtherClient : public XTestClient {
public:
    // XCB_MOD_MASK_ANY succeeds only when no other client holds F4 with any
    // modifiers at all.
    bool GrabF4(uint16_t modifiers) {
        XcbReply<xcb_generic_error_t> error(
            xcb_request_check(m_connection,
                              xcb_grab_key_checked(m_connection, 0, root(), modifiers, Keycode(kF4),
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
            &std::free);
        return error == nullptr;
    }
};

// Counts the key events that reach the station's widgets.
class KeyCounter : public QObject {
public:
    int f4 = 0;
    int f5 = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            f4 += key == Qt::Key_F4 ? 1 : 0;
            f5 += key == Qt::Key_F5 ? 1 : 0;
        }
        return false;
    }
};

class GlobalHotKeyOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty(kChildVariable)) {
            GTEST_SKIP() << "runs under Xvfb, started by GlobalHotKey.GrabsF4OnARealXServer";
        }
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(m_other.ok());
        m_window.resize(200, 100);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    void FocusStation() {
        m_other.Focus(xcb_window_t(m_window.winId()));
        ASSERT_TRUE(ProcessEventsUntil([&] { return m_window.isActiveWindow(); }));
    }

    QWidget m_window;
    OtherClient m_other;
};

} // namespace

TEST_F(GlobalHotKeyOnX11, F4ReachesTheStationWhileAnotherProgramHasTheFocus) {
    auto* key = new GlobalHotKey(&m_window);
    ASSERT_TRUE(key->isSystemWide());
    EXPECT_EQ(key->statusNote(), kSystemWideNote);
    QSignalSpy spy(key, &GlobalHotKey::activated);

    const xcb_window_t focused = m_other.CreateFocusedWindow();
    ASSERT_EQ(m_other.FocusedWindow(), focused);
    m_other.Tap(kF4);
    m_other.Tap(kF5);
    ASSERT_TRUE(ProcessEventsUntil([&] { return spy.count() >= 1; }));
    // F5 reached the focused program, and F4 did not: the grab took it.
    ASSERT_TRUE(ProcessEventsUntil([&] { return !m_other.TakeKeyPresses().empty(); }));
    EXPECT_EQ(m_other.TakeKeyPresses(), std::vector<xcb_keycode_t>{m_other.Keycode(kF5)});
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(GlobalHotKeyOnX11, F4FiresOnceWhenTheStationHasTheFocusAndWithLocksOn) {
    auto* key = new GlobalHotKey(&m_window);
    ASSERT_TRUE(key->isSystemWide());
    QSignalSpy spy(key, &GlobalHotKey::activated);
    KeyCounter counter;
    qApp->installEventFilter(&counter);
    FocusStation();

    // F5 comes after F4 on the same connection: once the window has it, F4
    // has been handled, and the queued signal waits only for posted events.
    const std::vector<std::vector<xcb_keysym_t>> lockSets = {
        {}, {kNumLock}, {kCapsLock}, {kNumLock, kCapsLock}};
    int expected = 0;
    for (const auto& locks : lockSets) {
        for (const xcb_keysym_t lock : locks) {
            m_other.Tap(lock); // on
        }
        m_other.Tap(kF4);
        m_other.Tap(kF5);
        ++expected;
        ASSERT_TRUE(ProcessEventsUntil([&] { return counter.f5 == expected; }))
            << "locks on: " << locks.size();
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(spy.count(), expected) << "locks on: " << locks.size();
        EXPECT_EQ(counter.f4, 0) << "F4 must not reach the widgets as well";
        for (const xcb_keysym_t lock : locks) {
            m_other.Tap(lock); // off
        }
    }
    qApp->removeEventFilter(&counter);
}

TEST_F(GlobalHotKeyOnX11, KeyHeldByAnotherProgramFallsBackToTheShortcut) {
    ASSERT_TRUE(m_other.GrabF4(0));
    auto* key = new GlobalHotKey(&m_window);
    EXPECT_FALSE(key->isSystemWide());
    EXPECT_EQ(key->statusNote(), kLocalNote);
    // None of its grabs with CapsLock or NumLock is left behind: once the
    // other program lets go, it can take F4 with every modifier, and F4 goes
    // to the focused window as an ordinary key.
    xcb_ungrab_key(m_other.connection(), m_other.Keycode(kF4), m_other.root(), XCB_MOD_MASK_ANY);
    EXPECT_TRUE(m_other.GrabF4(XCB_MOD_MASK_ANY));
    xcb_ungrab_key(m_other.connection(), m_other.Keycode(kF4), m_other.root(), XCB_MOD_MASK_ANY);
    m_other.CreateFocusedWindow();
    m_other.Tap(kF4);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !m_other.TakeKeyPresses().empty(); }));
    EXPECT_EQ(m_other.TakeKeyPresses(), std::vector<xcb_keycode_t>{m_other.Keycode(kF4)});
}

TEST_F(GlobalHotKeyOnX11, DestructionReleasesTheGrab) {
    {
        GlobalHotKey key(&m_window);
        ASSERT_TRUE(key.isSystemWide());
        EXPECT_FALSE(m_other.GrabF4(0)) << "held while the object lives";
    }
    EXPECT_TRUE(m_other.GrabF4(XCB_MOD_MASK_ANY)) << "every combination was released";
}

TEST(GlobalHotKey, GrabsF4OnARealXServer) {
    if (!qEnvironmentVariableIsEmpty(kChildVariable)) {
        GTEST_SKIP() << "this is the child";
    }
    const XvfbChild child = RunOnXvfb(QStringLiteral("GlobalHotKeyOnX11.*"), kChildVariable);
    if (!child.serverFound) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    ASSERT_TRUE(child.started) << child.output.toStdString();
    const QString& output = child.output;
    ASSERT_TRUE(child.finished) << output.toStdString();
    EXPECT_EQ(child.exitCode, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 4 tests.")))
        << "every X11 test must have run and passed:\n"
        << output.toStdString();
}
