#include "DdpView.h"

#include <QPainter>

DdpView::DdpView(const DdpScreen& screen, int dotSize, QWidget* parent)
    : QWidget(parent), m_screen(screen), m_dotSize(std::max(dotSize, 1)) {
    setObjectName(QStringLiteral("ddpView"));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(24, 24, 24));
    colours.setColor(QPalette::WindowText, QColor(200, 200, 200));
    setPalette(colours);
    m_picture = m_screen.Picture();
    connect(&m_timer, &QTimer::timeout, this, &DdpView::Tick);
}

void DdpView::SetAutoTick(bool on) {
    if (on) {
        m_timer.start(50);
    } else {
        m_timer.stop();
    }
}

void DdpView::Tick() {
    const long long frames = m_screen.Frames();
    if (frames != m_frames) {
        m_frames = frames;
        m_picture = m_screen.Picture();
        update();
    }
}

void DdpView::SetDotSize(int size) {
    m_dotSize = std::max(size, 1);
    updateGeometry();
    update();
}

int DdpView::CaptionHeight() const {
    return fontMetrics().height() + 4;
}

QSize DdpView::SizeForDotSize(int size) const {
    const QSize dots = m_screen.size() * std::max(size, 1);
    return QSize(dots.width() + 2 * kMargin, dots.height() + 2 * kMargin + CaptionHeight());
}

QRect DdpView::DotArea() const {
    return QRect(QPoint(kMargin, kMargin + CaptionHeight()), m_screen.size() * m_dotSize);
}

void DdpView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(kMargin, kMargin, width() - 2 * kMargin, CaptionHeight()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("DDP :%1  %2×%3  帧 %4")
                         .arg(m_screen.port())
                         .arg(m_screen.size().width())
                         .arg(m_screen.size().height())
                         .arg(std::max(m_frames, 0LL)));
    const QRect area = DotArea();
    painter.fillRect(area, Qt::black);
    // Dots of three pixels and more leave a dark gap, as an LED panel does.
    const int gap = m_dotSize >= 3 ? 1 : 0;
    for (int y = 0; y < m_picture.height(); ++y) {
        const uchar* line = m_picture.constScanLine(y);
        for (int x = 0; x < m_picture.width(); ++x) {
            const QColor colour(line[3 * x], line[3 * x + 1], line[3 * x + 2]);
            if (colour == Qt::black) {
                continue;
            }
            painter.fillRect(area.left() + x * m_dotSize, area.top() + y * m_dotSize,
                             m_dotSize - gap, m_dotSize - gap, colour);
        }
    }
}
