#include "ui/GlobalHotKey.h"

#include "PlatformTestSupport.h"

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

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// Another program on the same display: its own connection and a window.
class OtherClient {
public:
    OtherClient() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~OtherClient() { xcb_disconnect(m_connection); }

    bool ok() const { return xcb_connection_has_error(m_connection) == 0; }
    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const {
        return xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }

    xcb_window_t CreateFocusedWindow() {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_KEY_PRESS;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 100,
                          100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_EVENT_MASK, &events);
        xcb_map_window(m_connection, m_window);
        Focus(m_window);
        return m_window;
    }

    // Without a window manager the focus is simply set.
    void Focus(xcb_window_t window) {
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
    }
    xcb_window_t FocusedWindow() {
        XcbReply<xcb_get_input_focus_reply_t> reply(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr),
            &std::free);
        return reply ? reply->focus : XCB_NONE;
    }

    xcb_keycode_t Keycode(xcb_keysym_t keysym) {
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(
            xcb_get_keyboard_mapping_reply(
                m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count),
                nullptr),
            &std::free);
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        for (int i = 0; i < count; ++i) {
            if (keysyms[i * mapping->keysyms_per_keycode] == keysym) {
                return xcb_keycode_t(setup->min_keycode + i);
            }
        }
        return 0;
    }

    void Tap(xcb_keysym_t keysym) {
        const xcb_keycode_t code = Keycode(keysym);
        xcb_test_fake_input(m_connection, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(m_connection, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                            0);
        xcb_flush(m_connection);
    }

    // Key presses that reached this client's window so far.
    std::vector<xcb_keycode_t> TakeKeyPresses() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7F) == XCB_KEY_PRESS) {
                m_presses.push_back(reinterpret_cast<xcb_key_press_event_t*>(event)->detail);
            }
            std::free(event);
        }
        return m_presses;
    }

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

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window = XCB_NONE;
    std::vector<xcb_keycode_t> m_presses;
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
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    // -displayfd lets the server pick a free display and tell it on stdout.
    QProcess server;
    server.start(xvfb,
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                  QStringLiteral("640x480x24")});
    ASSERT_TRUE(server.waitForStarted(10000));
    QByteArray number;
    QDeadlineTimer deadline(20000);
    while (!number.contains('\n') && !deadline.hasExpired() &&
           server.state() == QProcess::Running) {
        server.waitForReadyRead(100);
        number += server.readAllStandardOutput();
    }
    ASSERT_TRUE(number.contains('\n')) << server.readAllStandardError().toStdString();
    const QString display = u':' + QString::fromLatin1(number.trimmed());

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=GlobalHotKeyOnX11.*")});
    const bool finished = child.waitForFinished(120000);
    const QString output = QString::fromLocal8Bit(child.readAll());
    if (!finished) {
        child.kill();
        child.waitForFinished();
    }
    server.terminate();
    server.waitForFinished(10000);

    ASSERT_TRUE(finished) << output.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 4 tests.")))
        << "every X11 test must have run and passed:\n"
        << output.toStdString();
}
