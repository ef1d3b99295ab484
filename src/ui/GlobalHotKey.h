#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QShortcut;
class QWidget;

// F4 without modifiers for the station's window: the operator must be able to
// blank the screens even while another program has the focus. On X11 the key
// is grabbed on the root window (with CapsLock and NumLock on as well); a
// grabbed key goes to the grabber only, so the window never sees the press and
// no shortcut is made. Elsewhere (Wayland, offscreen) or when the X server
// refuses the grab because another program holds F4, an application-wide
// shortcut on the window stands in.
// Lives on the user-interface thread, as a child of the window.
class GlobalHotKey : public QObject {
    Q_OBJECT
public:
    explicit GlobalHotKey(QWidget* window);
    ~GlobalHotKey() override; // releases the grab

    bool isSystemWide() const;
    // One line for the status bar saying which of the two is in force.
    QString statusNote() const;

signals:
    void activated();

private:
    class X11Grab;
    std::unique_ptr<X11Grab> m_x11;
    QPointer<QShortcut> m_shortcut;
};
