#include "TimeReadout.h"

#include <array>

namespace {

constexpr int kGlyphRows = 11;

// Rows of each glyph, top first; '#' is a pixel.
constexpr std::array<std::array<const char*, kGlyphRows>, 10> kDigits{{
    {".####.", "#....#", "#....#", "#....#", "#....#", "......", "#....#", "#....#", "#....#",
     "#....#", ".####."},
    {".....#", ".....#", ".....#", ".....#", ".....#", "......", ".....#", ".....#", ".....#",
     ".....#", ".....#"},
    {".####.", ".....#", ".....#", ".....#", ".....#", ".####.", "#.....", "#.....", "#.....",
     "#.....", ".####."},
    {".####.", ".....#", ".....#", ".....#", ".....#", ".####.", ".....#", ".....#", ".....#",
     ".....#", ".####."},
    {"#....#", "#....#", "#....#", "#....#", "#....#", ".####.", ".....#", ".....#", ".....#",
     ".....#", ".....#"},
    {".####.", "#.....", "#.....", "#.....", "#.....", ".####.", ".....#", ".....#", ".....#",
     ".....#", ".####."},
    {".####.", "#.....", "#.....", "#.....", "#.....", ".####.", "#....#", "#....#", "#....#",
     "#....#", ".####."},
    {".####.", ".....#", ".....#", ".....#", ".....#", "......", ".....#", ".....#", ".....#",
     ".....#", ".....#"},
    {".####.", "#....#", "#....#", "#....#", "#....#", ".####.", "#....#", "#....#", "#....#",
     "#....#", ".####."},
    {".####.", "#....#", "#....#", "#....#", "#....#", ".####.", ".....#", ".....#", ".....#",
     ".....#", ".####."},
}};

constexpr std::array<const char*, kGlyphRows> kSlash{".....#.", ".....#.", "....#..", "....#..",
                                                     "...#...", "...#...", "...#...", "..#....",
                                                     "..#....", ".#.....", ".#....."};
constexpr std::array<const char*, kGlyphRows> kColon{".", ".", ".", "#", "#", ".",
                                                     ".", "#", "#", ".", "."};

constexpr int kDigitAdvance = 7;
constexpr int kColonAdvance = 4;
constexpr int kColonOffset = 1;
constexpr int kSlashAdvance = 12;
constexpr int kSlashOffset = 3;

void DrawGlyph(QImage& image, int x, int y, const std::array<const char*, kGlyphRows>& rows,
               QRgb colour) {
    for (int row = 0; row < kGlyphRows; ++row) {
        const int py = y + row;
        if (py < 0 || py >= image.height()) {
            continue;
        }
        for (int col = 0; rows[static_cast<size_t>(row)][col] != '\0'; ++col) {
            const int px = x + col;
            if (rows[static_cast<size_t>(row)][col] == '#' && px >= 0 && px < image.width()) {
                image.setPixel(px, py, colour);
            }
        }
    }
}

QString TwoDigits(qint64 value) {
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

} // namespace

QString FormatReadoutTime(qint64 seconds) {
    if (seconds <= 0) {
        return QStringLiteral("00:00");
    }
    QString text;
    if (seconds >= 3600) {
        text = QString::number(seconds / 3600) + QLatin1Char(':');
    }
    return text + TwoDigits(seconds % 3600 / 60) + QLatin1Char(':') + TwoDigits(seconds % 60);
}

QString FormatTimeReadout(qint64 positionSeconds, qint64 durationSeconds) {
    if (durationSeconds == 0) {
        return {};
    }
    return FormatReadoutTime(positionSeconds) + QLatin1Char('/') +
           FormatReadoutTime(durationSeconds);
}

int ReadoutAdvance(const QString& text) {
    int advance = 0;
    for (const QChar c : text) {
        advance += c == QLatin1Char(':')   ? kColonAdvance
                   : c == QLatin1Char('/') ? kSlashAdvance
                                           : kDigitAdvance;
    }
    return advance;
}

void DrawReadoutText(QImage& image, int x, int y, const QString& text, QColor colour) {
    const QRgb rgb = colour.rgb();
    for (const QChar c : text) {
        if (c == QLatin1Char(':')) {
            DrawGlyph(image, x + kColonOffset, y, kColon, rgb);
            x += kColonAdvance;
        } else if (c == QLatin1Char('/')) {
            DrawGlyph(image, x + kSlashOffset, y, kSlash, rgb);
            x += kSlashAdvance;
        } else {
            if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
                DrawGlyph(image, x, y, kDigits[static_cast<size_t>(c.unicode() - u'0')], rgb);
            }
            x += kDigitAdvance;
        }
    }
}

void DrawTimeReadout(QImage& image, qint64 positionSeconds, qint64 durationSeconds, QColor colour) {
    const QString text = FormatTimeReadout(positionSeconds, durationSeconds);
    if (text.isEmpty()) {
        return;
    }
    DrawReadoutText(image, image.width() - 7 * static_cast<int>(text.size()), 3, text, colour);
}
