#pragma once

#include "MonitorWindow.h"

#include "outputs/OutputSettings.h"
#include "render/TextRenderer.h"

#include <QObject>

#include <QList>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QScreen;

// The monitor windows of the three screens: each screen with a monitor
// chosen gets a window on it showing every line the screen renders
// (LineObserver). A rendered line is drawn for the monitors once the render
// has returned (a queued call), so the frames of all screens reach the card
// link first and the monitors' larger layouts never delay the cards. The windows follow the
// desktop: a monitor unplugged hides its window (it never falls back onto the operator's monitor),
// the same monitor plugged again gets it back with the line on show, and a monitor that changes its
// resolution gets the line drawn again. User-interface thread only.
class MonitorOutputs : public QObject, public LineObserver {
public:
    explicit MonitorOutputs(Rasteriser& rasteriser, QObject* parent = nullptr);
    ~MonitorOutputs() override;

    void Apply(const OutputSettings& settings);
    void LineRendered(ScreenId screen, const RenderedLine& line) override;
    // Lines rendered that the windows have not drawn yet.
    bool pending() const { return m_flushQueued; }

    // The screen's window while its monitor is there; nullptr otherwise.
    MonitorWindow* window(ScreenId screen) const;
    // The QScreen a monitor setting names in `monitors`: its name, or its
    // number from 1.
    static QScreen* FindMonitor(const QString& monitor, const QList<QScreen*>& monitors);

    // Where the monitors are looked up: the desktop's screens, or what a test
    // says is plugged in. MonitorsChanged looks again (the desktop's changes
    // call it by themselves).
    void SetMonitorList(std::function<QList<QScreen*>()> monitors);
    void MonitorsChanged() { Follow(); }

private:
    struct Output {
        QString monitor;
        MonitorLayout layout = MonitorLayout::Projector;
        std::unique_ptr<MonitorWindow> window;
        std::optional<RenderedLine> line;
        bool drawn = true; // the window shows `line`
    };
    void Follow();
    void Flush();
    Output& output(ScreenId screen) { return m_outputs[std::size_t(ScreenIndex(screen))]; }
    const Output& output(ScreenId screen) const {
        return m_outputs[std::size_t(ScreenIndex(screen))];
    }

    Rasteriser& m_rasteriser;
    std::function<QList<QScreen*>()> m_monitors;
    std::array<Output, 3> m_outputs;
    bool m_flushQueued = false;
};
