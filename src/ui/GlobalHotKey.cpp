#include "GlobalHotKey.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <vector>

#if QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

#if QT_CONFIG(xcb)

namespace {

constexpr xcb_keysym_t kKeysymF4 = 0xFFC1;
constexpr xcb_keysym_t kKeysymNumLock = 0xFF7F;

struct KeyboardFacts {
    std::vector<xcb_keycode_t> f4;
    uint16_t numLockMask = 0;
};

// Which keycodes carry F4 on their first level, and which modifier bit
// NumLock sets. Read from the server's tables, so no keysym library is needed.
KeyboardFacts ReadKeyboard(xcb_connection_t* connection) {
    KeyboardFacts facts;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_keycode_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, first, count), nullptr);
    xcb_get_modifier_mapping_reply_t* modifiers =
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
    if (mapping != nullptr && mapping->keysyms_per_keycode > 0) {
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
        const int perKey = mapping->keysyms_per_keycode;
        const auto firstLevel = [&](xcb_keycode_t code) -> xcb_keysym_t {
            if (code < first || code - first >= count) {
                return 0;
            }
            return keysyms[(code - first) * perKey];
        };
        for (int i = 0; i < count; ++i) {
            if (firstLevel(xcb_keycode_t(first + i)) == kKeysymF4) {
                facts.f4.push_back(xcb_keycode_t(first + i));
            }
        }
        if (modifiers != nullptr) {
            const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers);
            const int perModifier = modifiers->keycodes_per_modifier;
            for (int mod = 0; mod < 8 && facts.numLockMask == 0; ++mod) {
                for (int k = 0; k < perModifier; ++k) {
                    if (firstLevel(codes[mod * perModifier + k]) == kKeysymNumLock) {
                        facts.numLockMask = uint16_t(1u << mod);
                        break;
                    }
                }
            }
        }
    }
    free(mapping);
    free(modifiers);
    return facts;
}

} // namespace

// The key grabs on every root window of Qt's own X connection, and the filter
// that picks their presses out of Qt's event stream.
class GlobalHotKey::X11Grab : public QAbstractNativeEventFilter {
public:
    X11Grab(xcb_connection_t* connection, GlobalHotKey* owner)
        : m_connection(connection), m_owner(owner) {}
    ~X11Grab() override { Release(); }

    // All or nothing: a grab that works only while NumLock is off would leave
    // the operator wondering why F4 sometimes does nothing.
    bool Acquire() {
        const KeyboardFacts keyboard = ReadKeyboard(m_connection);
        if (keyboard.f4.empty()) {
            return false;
        }
        m_ignoredModifiers = uint16_t(XCB_MOD_MASK_LOCK | keyboard.numLockMask);
        std::vector<uint16_t> combinations = {0, XCB_MOD_MASK_LOCK};
        if (keyboard.numLockMask != 0) {
            combinations.push_back(keyboard.numLockMask);
            combinations.push_back(uint16_t(keyboard.numLockMask | XCB_MOD_MASK_LOCK));
        }
        for (auto roots = xcb_setup_roots_iterator(xcb_get_setup(m_connection)); roots.rem;
             xcb_screen_next(&roots)) {
            m_roots.push_back(roots.data->root);
        }
        // Send every request first and collect the answers after, so the
        // round trips overlap.
        struct Pending {
            Grab grab;
            xcb_void_cookie_t cookie;
        };
        std::vector<Pending> pending;
        for (const xcb_window_t root : m_roots) {
            for (const xcb_keycode_t code : keyboard.f4) {
                for (const uint16_t mods : combinations) {
                    // owner_events false: the press goes to the root window
                    // even when a station window has the focus, so it arrives
                    // here exactly once and never as an ordinary key event.
                    pending.push_back(
                        {{root, code, mods},
                         xcb_grab_key_checked(m_connection, 0, root, mods, code,
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
                }
            }
        }
        bool allGranted = true;
        for (const Pending& p : pending) {
            if (xcb_generic_error_t* error = xcb_request_check(m_connection, p.cookie)) {
                free(error);
                allGranted = false;
            } else {
                m_grabs.push_back(p.grab);
            }
        }
        for (const xcb_keycode_t code : keyboard.f4) {
            m_keycodes.push_back(code);
        }
        if (!allGranted) {
            Release();
        }
        return allGranted;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (m_grabs.empty() || eventType != "xcb_generic_event_t") {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_KEY_PRESS) {
            return false;
        }
        const auto* press = static_cast<const xcb_key_press_event_t*>(message);
        const bool ours =
            std::find(m_roots.begin(), m_roots.end(), press->event) != m_roots.end() &&
            std::find(m_keycodes.begin(), m_keycodes.end(), press->detail) != m_keycodes.end() &&
            (press->state & 0xFF & ~m_ignoredModifiers) == 0;
        if (!ours) {
            return false;
        }
        // Queued: the slot may open a dialog, and a nested event loop must
        // not run inside Qt's event dispatch of the native event.
        QMetaObject::invokeMethod(m_owner, &GlobalHotKey::activated, Qt::QueuedConnection);
        return true;
    }

private:
    struct Grab {
        xcb_window_t root;
        xcb_keycode_t keycode;
        uint16_t modifiers;
    };

    void Release() {
        for (const Grab& grab : m_grabs) {
            xcb_ungrab_key(m_connection, grab.keycode, grab.root, grab.modifiers);
        }
        if (!m_grabs.empty()) {
            xcb_flush(m_connection);
        }
        m_grabs.clear();
    }

    xcb_connection_t* m_connection;
    GlobalHotKey* m_owner;
    std::vector<xcb_window_t> m_roots;
    std::vector<xcb_keycode_t> m_keycodes;
    std::vector<Grab> m_grabs;
    uint16_t m_ignoredModifiers = 0;
};

#else

class GlobalHotKey::X11Grab {};

#endif

GlobalHotKey::GlobalHotKey(QWidget* window) : QObject(window) {
#if QT_CONFIG(xcb)
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 != nullptr && x11->connection() != nullptr) {
        auto grab = std::make_unique<X11Grab>(x11->connection(), this);
        if (grab->Acquire()) {
            QCoreApplication::instance()->installNativeEventFilter(grab.get());
            m_x11 = std::move(grab);
            return;
        }
    }
#endif
    m_shortcut = new QShortcut(QKeySequence(Qt::Key_F4), window);
    m_shortcut->setContext(Qt::ApplicationShortcut);
    connect(m_shortcut, &QShortcut::activated, this, &GlobalHotKey::activated);
}

// X11Grab ungrabs and its filter removes itself; the shortcut belongs to the
// window, so it goes explicitly or it would keep taking F4 from the window.
GlobalHotKey::~GlobalHotKey() {
    delete m_shortcut.data();
}

bool GlobalHotKey::isSystemWide() const {
    return m_x11 != nullptr;
}

QString GlobalHotKey::statusNote() const {
    return isSystemWide() ? QStringLiteral("F4 清屏：全局热键")
                          : QStringLiteral("F4 清屏：仅在本程序内有效（无法注册全局热键）");
}
