#pragma once

#include "outputs/MonitorPicture.h"

#include <QImage>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <optional>

// A screen's line full-screen on a monitor or projector: frameless, on the
// chosen QScreen, the line drawn at the monitor's resolution (MonitorPicture)
// and animated with the screen's effect at the cards' pace. The confidence
// layout shows the next line smaller below. It never takes the focus from
// the operator's window and hides the mouse pointer.
class MonitorWindow : public QWidget {
public:
    MonitorWindow(ScreenId screen, Rasteriser& rasteriser);

    ScreenId screenId() const { return m_screen; }
    void SetLayout(MonitorLayout layout);
    MonitorLayout layout() const { return m_layout; }
    // Puts the window over the whole of `monitor` and shows it.
    void PlaceOn(QScreen* monitor);
    QScreen* monitor() const { return m_monitor; }
    // The line to show now (blank lines blank the window).
    void ShowLine(const RenderedLine& line);

    // For tests and tools: the bands, the current line's picture as it stands
    // and the next line's picture; whether the effect has steps to go, and
    // the steps by hand (with the step timer off).
    MonitorBands bands() const;
    const QImage& canvas() const { return m_canvas; }
    const QImage& nextPicture() const { return m_next; }
    bool animating() const { return m_animating; }
    void SetAutoStep(bool on);
    void Step();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayOut();

    const ScreenId m_screen;
    Rasteriser& m_rasteriser;
    MonitorLayout m_layout = MonitorLayout::Projector;
    QPointer<QScreen> m_monitor;
    std::optional<RenderedLine> m_line;
    MonitorLine m_current;
    QImage m_canvas;
    QImage m_next;
    int m_step = 0;
    bool m_animating = false;
    bool m_autoStep = true;
    QTimer m_timer;
};
