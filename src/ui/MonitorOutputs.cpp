#include "MonitorOutputs.h"

#include <QGuiApplication>
#include <QScreen>

MonitorOutputs::MonitorOutputs(Rasteriser& rasteriser, QObject* parent)
    : QObject(parent), m_rasteriser(rasteriser),
      m_monitors([] { return QGuiApplication::screens(); }) {
    connect(qApp, &QGuiApplication::screenAdded, this, [this](QScreen* added) {
        connect(added, &QScreen::geometryChanged, this, [this] { Follow(); });
        Follow();
    });
    // Emitted before the screen goes: its window hides now, before Qt would
    // move it onto a monitor that remains.
    connect(qApp, &QGuiApplication::screenRemoved, this, [this](QScreen* removed) {
        for (Output& out : m_outputs) {
            if (out.window && out.window->monitor() == removed) {
                out.window->PlaceOn(nullptr);
            }
        }
        Follow();
    });
    for (QScreen* screen : QGuiApplication::screens()) {
        connect(screen, &QScreen::geometryChanged, this, [this] { Follow(); });
    }
}

MonitorOutputs::~MonitorOutputs() = default;

void MonitorOutputs::SetMonitorList(std::function<QList<QScreen*>()> monitors) {
    m_monitors = std::move(monitors);
    Follow();
}

QScreen* MonitorOutputs::FindMonitor(const QString& monitor, const QList<QScreen*>& screens) {
    if (monitor.isEmpty()) {
        return nullptr;
    }
    for (QScreen* screen : screens) {
        if (screen->name() == monitor) {
            return screen;
        }
    }
    bool number = false;
    const int index = monitor.toInt(&number);
    if (number && index >= 1 && index <= screens.size()) {
        return screens[index - 1];
    }
    return nullptr;
}

void MonitorOutputs::Apply(const OutputSettings& settings) {
    for (ScreenId screen : kAllScreens) {
        Output& out = output(screen);
        out.monitor = settings.screen(screen).monitor;
        out.layout = settings.screen(screen).layout;
        if (out.monitor.isEmpty()) {
            out.window.reset();
        }
    }
    Follow();
}

void MonitorOutputs::LineRendered(ScreenId screen, const RenderedLine& line) {
    Output& out = output(screen);
    out.line = line;
    out.drawn = false;
    if (!m_flushQueued) {
        m_flushQueued = true;
        QMetaObject::invokeMethod(this, &MonitorOutputs::Flush, Qt::QueuedConnection);
    }
}

void MonitorOutputs::Flush() {
    m_flushQueued = false;
    for (Output& out : m_outputs) {
        if (!out.drawn && out.line && out.window && out.window->isVisible()) {
            out.window->ShowLine(*out.line);
        }
        out.drawn = true;
    }
}

MonitorWindow* MonitorOutputs::window(ScreenId screen) const {
    const Output& out = output(screen);
    return out.window && out.window->monitor() != nullptr ? out.window.get() : nullptr;
}

void MonitorOutputs::Follow() {
    const QList<QScreen*> monitors = m_monitors();
    for (ScreenId screen : kAllScreens) {
        Output& out = output(screen);
        QScreen* monitor = FindMonitor(out.monitor, monitors);
        if (monitor == nullptr) {
            if (out.window) {
                out.window->PlaceOn(nullptr);
            }
            continue;
        }
        if (!out.window) {
            out.window = std::make_unique<MonitorWindow>(screen, m_rasteriser);
        }
        out.window->SetLayout(out.layout);
        if (out.window->monitor() != monitor || !out.window->isVisible() ||
            out.window->geometry() != monitor->geometry()) {
            out.window->PlaceOn(monitor);
            // The line on show, drawn for this monitor's resolution.
            if (out.line) {
                out.window->ShowLine(*out.line);
                out.drawn = true;
            }
        }
    }
}
