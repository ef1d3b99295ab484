#pragma once

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

// Another X client on the display the test runs on: it can own a window, move
// the input focus, and press keys and mouse buttons through XTEST the way a
// keyboard and a mouse would.

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// Another program on the same display: its own connection and a window.
class XTestClient {
public:
    XTestClient() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~XTestClient() { xcb_disconnect(m_connection); }

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

    // A click of the left button at (x, y) on the root window.
    void Click(int x, int y) {
        const xcb_window_t rootWindow = root();
        xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, rootWindow,
                            int16_t(x), int16_t(y), 0);
        xcb_test_fake_input(m_connection, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(m_connection, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                            0);
        xcb_flush(m_connection);
    }

protected:
    xcb_connection_t* m_connection;
    xcb_window_t m_window = XCB_NONE;
    std::vector<xcb_keycode_t> m_presses;
};
