#include "MonitorWindow.h"

#include "render/Bitmaps.h"

#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace {

constexpr int kStepMs = 50; // the cards' and the preview's step

QImage Black(QSize size) {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB888);
    image.fill(Qt::black);
    return image;
}

// The confidence layout's current line: its own row only, the next line has
// its own place.
RenderedLine CurrentLineOf(const RenderedLine& line, MonitorLayout layout) {
    RenderedLine current = line;
    if (layout == MonitorLayout::Confidence && line.request.kind == RenderKind::Subtitle) {
        current.request.singleRow = true;
        current.row2.clear();
    }
    return current;
}

} // namespace

MonitorWindow::MonitorWindow(ScreenId screen, Rasteriser& rasteriser)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      m_screen(screen), m_rasteriser(rasteriser) {
    setObjectName(QStringLiteral("MonitorWindow") +
                  QChar::fromLatin1(ScreenLetter(screen)).toUpper());
    setWindowTitle(ScreenName(screen) + QStringLiteral(" — 显示器输出"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::BlankCursor);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MonitorWindow::Step);
}

void MonitorWindow::SetLayout(MonitorLayout layout) {
    if (layout != m_layout) {
        m_layout = layout;
        LayOut();
    }
}

void MonitorWindow::PlaceOn(QScreen* monitor) {
    m_monitor = monitor;
    if (monitor == nullptr) {
        hide();
        return;
    }
    // The native window must exist to be put on a screen before it shows.
    winId();
    if (QWindow* window = windowHandle()) {
        window->setScreen(monitor);
    }
    setGeometry(monitor->geometry());
    // Not showFullScreen(): it would also activate the window and take the
    // keyboard from the operator's.
    setWindowState(windowState() | Qt::WindowFullScreen);
    show();
    LayOut();
}

void MonitorWindow::ShowLine(const RenderedLine& line) {
    m_line = line;
    LayOut();
}

MonitorBands MonitorWindow::bands() const {
    const QSize screen = m_line ? ScreenSizeOf(*m_line) : QSize(1, 1);
    return BandsFor(m_layout, size(), screen);
}

void MonitorWindow::SetAutoStep(bool on) {
    m_autoStep = on;
    if (!on) {
        m_timer.stop();
    } else if (m_animating && !m_timer.isActive()) {
        m_timer.start(kStepMs);
    }
}

void MonitorWindow::LayOut() {
    m_timer.stop();
    m_step = 0;
    m_animating = false;
    if (!m_line || width() <= 0 || height() <= 0) {
        m_canvas = QImage();
        m_next = QImage();
        update();
        return;
    }
    const MonitorBands bands = this->bands();
    m_current = LayOutForMonitor(m_rasteriser, m_screen, CurrentLineOf(*m_line, m_layout),
                                 bands.currentScale);
    m_canvas = Black(m_current.area);
    if (m_current.effect.effect == 0) {
        // A still line: its start, as the screen shows it.
        const QRect area(QPoint(0, 0), m_current.area);
        CopyScaled(m_current.picture, area, m_canvas, area);
    } else {
        m_animating = true;
        if (m_autoStep) {
            m_timer.start(kStepMs);
        }
    }
    m_next = QImage();
    if (m_layout == MonitorLayout::Confidence) {
        const RenderedLine next = NextLineOf(*m_line);
        if (!next.row1.isEmpty()) {
            const MonitorLine laid =
                LayOutForMonitor(m_rasteriser, m_screen, next, bands.nextScale);
            m_next = Black(laid.area);
            const QRect area(QPoint(0, 0), laid.area);
            CopyScaled(laid.picture, area, m_next, area);
        }
    }
    update();
}

void MonitorWindow::Step() {
    if (!m_animating || m_canvas.isNull()) {
        return;
    }
    const AnimationStep next = StepMonitorLine(m_current, m_step, m_canvas);
    m_step = next.step;
    m_animating = next.continues;
    update();
    if (m_animating && m_autoStep) {
        m_timer.start(std::max(next.intervalMs, 1));
    }
}

void MonitorWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const MonitorBands bands = this->bands();
    if (!m_canvas.isNull()) {
        painter.drawImage(bands.current.topLeft(), m_canvas);
    }
    if (!m_next.isNull()) {
        painter.drawImage(bands.next.topLeft(), m_next);
    }
}

void MonitorWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}
