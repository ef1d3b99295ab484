#pragma once

#include <QImage>
#include <QRect>

#include <cstdint>
#include <random>

// Random channels on both sides of 128, so every bit of every plane byte matters.
inline QImage NoisePicture(int width, int height, unsigned seed) {
    QImage image(width, height, QImage::Format_RGB888);
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* px = image.scanLine(y);
        for (int i = 0; i < 3 * width; ++i) {
            px[i] = static_cast<std::uint8_t>(random());
        }
    }
    return image;
}

// The smallest rectangle holding every pixel that is not black.
inline QRect LitBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != 0) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}
