#include "Bitmaps.h"

#include <QPainter>

#include <cstring>

QRgb ScreenTextColour(int color) {
    switch (color) {
    case 1:
        return kRed;
    case 2:
        return kGreen;
    default:
        return kYellow;
    }
}

QRgb DialogTextColour(int index) {
    switch (index) {
    case 0:
        return kRed;
    case 1:
        return kGreen;
    default:
        return kYellow;
    }
}

QImage BlackBitmap(int width, int height) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    QImage image(width, height, kBitmapFormat);
    image.fill(Qt::black);
    return image;
}

void FillBlack(QImage& image, const QRect& rect) {
    const QRect clipped = rect.intersected(image.rect());
    if (clipped.isEmpty()) {
        return;
    }
    const int bytes = clipped.width() * 3;
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        std::memset(image.scanLine(y) + clipped.left() * 3, 0, static_cast<size_t>(bytes));
    }
}

void CopyScaled(const QImage& source, const QRect& sourceRect, QImage& target,
                const QRect& targetRect) {
    if (source.isNull() || target.isNull() || sourceRect.width() <= 0 || sourceRect.height() <= 0 ||
        targetRect.width() <= 0 || targetRect.height() <= 0) {
        return;
    }
    // Parts of the source rectangle outside the picture are dropped together
    // with the part of the target they would have covered.
    const QRect from = sourceRect.intersected(source.rect());
    if (from.isEmpty()) {
        return;
    }
    const double sx = double(targetRect.width()) / sourceRect.width();
    const double sy = double(targetRect.height()) / sourceRect.height();
    const QRect to = QRectF(targetRect.left() + (from.left() - sourceRect.left()) * sx,
                            targetRect.top() + (from.top() - sourceRect.top()) * sy,
                            from.width() * sx, from.height() * sy)
                         .toRect();
    if (to.isEmpty()) {
        return;
    }
    if (to.size() == from.size() && source.format() == kBitmapFormat &&
        target.format() == kBitmapFormat) {
        const QRect clipped = to.intersected(target.rect());
        const QPoint shift = from.topLeft() - to.topLeft();
        for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
            std::memcpy(target.scanLine(y) + clipped.left() * 3,
                        source.constScanLine(y + shift.y()) + (clipped.left() + shift.x()) * 3,
                        static_cast<size_t>(clipped.width()) * 3);
        }
        return;
    }
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(to, source, from);
}

namespace {

// Moves pixels with row access; a frame is turned once per render.
template <typename Map> QImage Turned(const QImage& source, Map sourcePixelOf) {
    if (source.isNull()) {
        return {};
    }
    const QImage input =
        source.format() == kBitmapFormat ? source : source.convertToFormat(kBitmapFormat);
    QImage result(input.height(), input.width(), kBitmapFormat);
    for (int y = 0; y < result.height(); ++y) {
        uchar* out = result.scanLine(y);
        for (int x = 0; x < result.width(); ++x) {
            const QPoint from = sourcePixelOf(x, y);
            const uchar* in = input.constScanLine(from.y()) + from.x() * 3;
            out[x * 3] = in[0];
            out[x * 3 + 1] = in[1];
            out[x * 3 + 2] = in[2];
        }
    }
    return result;
}

} // namespace

QImage TurnAnticlockwise(const QImage& source) {
    const int width = source.width();
    return Turned(source, [width](int x, int y) { return QPoint(width - 1 - y, x); });
}

QImage TurnClockwise(const QImage& source) {
    const int height = source.height();
    return Turned(source, [height](int x, int y) { return QPoint(y, height - 1 - x); });
}
