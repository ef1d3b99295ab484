#include "MonitorPicture.h"

#include "render/Bitmaps.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

int Scaled(int value, double scale) {
    return std::max(1, static_cast<int>(std::lround(value * scale)));
}

QImage Upright(ScreenId screen, const RenderedLine& line, const QImage& frame) {
    if (!line.turned) {
        return frame;
    }
    // As the renderer turns its picture.
    return screen == ScreenId::s ? TurnClockwise(frame) : TurnAnticlockwise(frame);
}

} // namespace

QSize ScreenSizeOf(const RenderedLine& line) {
    const QSize frame(line.request.frameWidth, line.request.frameHeight);
    return line.turned ? frame.transposed() : frame;
}

MonitorLine LayOutForMonitor(Rasteriser& rasteriser, ScreenId screen, const RenderedLine& line,
                             double scale) {
    MonitorLine result;
    result.scale = scale;
    result.axes = screen == ScreenId::s ? AnimationAxes::VerticalScreen : AnimationAxes::Horizontal;
    const QSize screenSize = ScreenSizeOf(line);
    result.area = QSize(Scaled(screenSize.width(), scale), Scaled(screenSize.height(), scale));
    result.effect = line.effect;
    result.effect.speed = Scaled(std::max(line.effect.speed, 1), scale);

    LayoutRequest request = line.request;
    request.frameWidth = Scaled(request.frameWidth, scale);
    request.frameHeight = Scaled(request.frameHeight, scale);
    request.sizeWidth = Scaled(request.sizeWidth, scale);
    request.sizeHeight = Scaled(request.sizeHeight, scale);
    LayoutResult layout = LayOutText(rasteriser, request, line.row1, line.row2);
    if (layout.ok && !layout.frame.isNull()) {
        result.picture = Upright(screen, line, layout.frame);
        return result;
    }
    layout = LayOutText(rasteriser, line.request, line.row1, line.row2);
    QImage small = layout.ok ? Upright(screen, line, layout.frame) : QImage();
    if (small.isNull()) {
        result.picture = QImage(result.area, QImage::Format_RGB888);
        result.picture.fill(Qt::black);
        return result;
    }
    result.picture = small
                         .scaled(Scaled(small.width(), scale), Scaled(small.height(), scale),
                                 Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB888);
    return result;
}

MonitorBands BandsFor(MonitorLayout layout, QSize monitor, QSize screen) {
    MonitorBands bands;
    const double w = std::max(screen.width(), 1);
    const double h = std::max(screen.height(), 1);
    // The current line takes the top two thirds in the confidence layout,
    // the next one the rest, at most half as large.
    const double currentRoom = layout == MonitorLayout::Confidence ? 2.0 / 3.0 : 1.0;
    bands.currentScale = std::min(monitor.width() / w, monitor.height() * currentRoom / h);
    const QSize current(Scaled(screen.width(), bands.currentScale),
                        Scaled(screen.height(), bands.currentScale));
    if (layout == MonitorLayout::Projector) {
        bands.current = QRect(QPoint((monitor.width() - current.width()) / 2,
                                     (monitor.height() - current.height()) / 2),
                              current);
        return bands;
    }
    const int top = static_cast<int>(monitor.height() * currentRoom);
    bands.current = QRect(
        QPoint((monitor.width() - current.width()) / 2, (top - current.height()) / 2), current);
    bands.nextScale =
        std::min({monitor.width() / w, (monitor.height() - top) / h, bands.currentScale / 2});
    const QSize next(Scaled(screen.width(), bands.nextScale),
                     Scaled(screen.height(), bands.nextScale));
    bands.next = QRect(QPoint((monitor.width() - next.width()) / 2,
                              top + (monitor.height() - top - next.height()) / 2),
                       next);
    return bands;
}

RenderedLine NextLineOf(const RenderedLine& line) {
    RenderedLine next = line;
    next.row1 = line.request.kind == RenderKind::Subtitle ? line.row2 : QString();
    next.row2.clear();
    next.request.singleRow = true;
    next.request.effect = 0;
    next.effect = FrameEffect{};
    return next;
}

AnimationStep StepMonitorLine(const MonitorLine& line, int step, QImage& canvas) {
    const AnimationParams params{line.effect.effect, line.effect.speed, line.effect.rollStay};
    const AnimationStep next =
        EffectAnimationStep(line.axes, params, step, canvas.size(), line.picture.size());
    ApplyAnimationStep(next, line.picture, canvas);
    return next;
}
