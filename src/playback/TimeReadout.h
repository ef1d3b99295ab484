#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// The position and duration read-out in the corner of the spectrum, drawn
// with its own small pixel font so that it looks the same on every machine.

// "00:00" for 0, otherwise [h:]mm:ss (hours without a leading zero).
QString FormatReadoutTime(qint64 seconds);
// Position part + "/" + duration part; empty when duration is 0 (nothing is
// shown before a track is loaded).
QString FormatTimeReadout(qint64 positionSeconds, qint64 durationSeconds);

// Width in pixels the text advances (7 per digit, 4 per ":", 12 per "/").
int ReadoutAdvance(const QString& text);
// Draws text starting at (x, y) with the pixel font; characters other than
// digits, ":" and "/" advance like a digit and draw nothing. Pixels outside
// the image are skipped.
void DrawReadoutText(QImage& image, int x, int y, const QString& text, QColor colour);
// The read-out as the spectrum shows it: right-aligned by character count
// (x = image width - 7 x characters), y = 3.
void DrawTimeReadout(QImage& image, qint64 positionSeconds, qint64 durationSeconds, QColor colour);
