#include "ImageBox.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

ImageBox::ImageBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageBox::setImage(const QImage& image) {
    m_image = image;
    update();
}

void ImageBox::setPictureSize(int width, int height) {
    setFixedSize(std::max(0, width), std::max(0, height));
}

void ImageBox::setDark(bool dark) {
    if (dark != m_dark) {
        m_dark = dark;
        update();
    }
}

void ImageBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_dark) {
        if (height() >= 12) {
            QFont note = font();
            note.setPixelSize(std::min(12, height() - 2));
            painter.setFont(note);
            painter.setPen(QColor(70, 70, 70));
            painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("亮度0"));
        }
        return;
    }
    if (!m_image.isNull()) {
        // Device pixels, not logical ones: a scaled desktop must not blur the dots.
        painter.drawImage(QPoint(0, 0), m_image);
    }
}

void ImageBox::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

SeekBar::SeekBar(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void SeekBar::setValue(int value) {
    value = std::clamp(value, 0, 100);
    if (value != m_value) {
        m_value = value;
        update();
    }
}

void SeekBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(48, 48, 48));
    const int filled = width() * m_value / 100;
    painter.fillRect(QRect(0, 0, filled, height()), QColor(0, 160, 255));
}

void SeekBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit pressedAt(event->position().toPoint().x(), width());
    }
    QWidget::mousePressEvent(event);
}
