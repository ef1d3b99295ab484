#pragma once

#include <QImage>
#include <QRect>

// The 24-bit pictures the renderer works with are QImage::Format_RGB888: one
// byte each of red, green and blue per pixel, row 0 at the top.

inline constexpr QImage::Format kBitmapFormat = QImage::Format_RGB888;

// Text colours of the screens; the background is always black.
inline constexpr QRgb kRed = 0xFFFF0000;
inline constexpr QRgb kGreen = 0xFF00FF00;
inline constexpr QRgb kYellow = 0xFFFFFF00;
inline constexpr QRgb kBlack = 0xFF000000;

// Colour of a screen's Color value: 1 red, 2 green, anything else yellow.
QRgb ScreenTextColour(int color);
// Colour of an entry of the text dialog's colour list: 0 red, 1 green, else yellow.
QRgb DialogTextColour(int index);

// A black picture of the size (an empty size gives a null image).
QImage BlackBitmap(int width, int height);
// Fills the rectangle, clipped to the picture, with black.
void FillBlack(QImage& image, const QRect& rect);
// Copies the source rectangle of source into the target rectangle of target,
// scaling (nearest pixel, no smoothing) when the sizes differ. Empty or
// inverted rectangles copy nothing; parts outside either picture are clipped.
void CopyScaled(const QImage& source, const QRect& sourceRect, QImage& target,
                const QRect& targetRect);

// A quarter turn anticlockwise: result(x, y) = source(width - 1 - y, x); the
// result is source.height() wide and source.width() high.
QImage TurnAnticlockwise(const QImage& source);
// A quarter turn clockwise: result(x, y) = source(y, height - 1 - x).
QImage TurnClockwise(const QImage& source);
