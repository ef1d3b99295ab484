#include "playback/Spectrum.h"
#include "playback/TimeReadout.h"
#include "playback/Volume.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kYellow = qRgb(255, 255, 0);

// The read-out's glyphs as the operator sees them, row 0 at the top.
const std::map<char, std::vector<std::string>>& Glyphs() {
    static const std::map<char, std::vector<std::string>> glyphs{
        {'0',
         {".####.", "#....#", "#....#", "#....#", "#....#", "......", "#....#", "#....#", "#....#",
          "#....#", ".####."}},
        {'1',
         {".....#", ".....#", ".....#", ".....#", ".....#", "......", ".....#", ".....#", ".....#",
          ".....#", ".....#"}},
        {'2',
         {".####.", ".....#", ".....#", ".....#", ".....#", ".####.", "#.....", "#.....", "#.....",
          "#.....", ".####."}},
        {'3',
         {".####.", ".....#", ".....#", ".....#", ".....#", ".####.", ".....#", ".....#", ".....#",
          ".....#", ".####."}},
        {'4',
         {"#....#", "#....#", "#....#", "#....#", "#....#", ".####.", ".....#", ".....#", ".....#",
          ".....#", ".....#"}},
        {'5',
         {".####.", "#.....", "#.....", "#.....", "#.....", ".####.", ".....#", ".....#", ".....#",
          ".....#", ".####."}},
        {'6',
         {".####.", "#.....", "#.....", "#.....", "#.....", ".####.", "#....#", "#....#", "#....#",
          "#....#", ".####."}},
        {'7',
         {".####.", ".....#", ".....#", ".....#", ".....#", "......", ".....#", ".....#", ".....#",
          ".....#", ".....#"}},
        {'8',
         {".####.", "#....#", "#....#", "#....#", "#....#", ".####.", "#....#", "#....#", "#....#",
          "#....#", ".####."}},
        {'9',
         {".####.", "#....#", "#....#", "#....#", "#....#", ".####.", ".....#", ".....#", ".....#",
          ".....#", ".####."}},
        {'/',
         {".....#.", ".....#.", "....#..", "....#..", "...#...", "...#...", "...#...", "..#....",
          "..#....", ".#.....", ".#....."}},
        {':', {".", ".", ".", "#", "#", ".", ".", "#", "#", ".", "."}},
    };
    return glyphs;
}

// Checks the text glyph by glyph from x at y = 3, each cell against its table
// entry, and returns the rectangle it covered.
QRect ExpectReadout(const QImage& image, const std::string& text, int x) {
    const int y = 3;
    const int startX = x;
    for (const char c : text) {
        const std::vector<std::string>& rows = Glyphs().at(c);
        const int offset = c == ':' ? 1 : c == '/' ? 3 : 0;
        for (int row = 0; row < 11; ++row) {
            for (int col = 0; col < static_cast<int>(rows[static_cast<size_t>(row)].size());
                 ++col) {
                const QRgb expected =
                    rows[static_cast<size_t>(row)][static_cast<size_t>(col)] == '#' ? kYellow
                                                                                    : kBlack;
                EXPECT_EQ(image.pixel(x + offset + col, y + row), expected)
                    << "glyph '" << c << "' row " << row << " col " << col;
            }
        }
        x += c == ':' ? 4 : c == '/' ? 12 : 7;
    }
    return QRect(startX, y, x - startX, 11);
}

// Every pixel outside `except` has the colour.
void ExpectOnlyColourOutside(const QImage& image, QRgb colour, const QRect& except) {
    int wrong = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!except.contains(x, y) && image.pixel(x, y) != colour) {
                ++wrong;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

SpectrumData Spectrum(std::initializer_list<std::pair<int, float>> bins) {
    SpectrumData data{};
    for (const auto& [bin, value] : bins) {
        data[static_cast<size_t>(bin)] = value;
    }
    return data;
}

// Bar height of a spectrum column read back from the pixels: the run of
// gradient colours up from the bottom row.
int BarHeightOf(const TSpectrum& spectrum, int column) {
    const QImage& frame = spectrum.frame();
    int height = 0;
    for (int y = frame.height() - 1; y >= 0; --y) {
        if (frame.pixel(column, y) != spectrum.RowColour(y)) {
            break;
        }
        ++height;
    }
    return height;
}

} // namespace

TEST(TimeReadoutTest, FormatsPositionAndDuration) {
    EXPECT_EQ(FormatTimeReadout(75, 3725), QStringLiteral("01:15/1:02:05"));
    EXPECT_EQ(FormatTimeReadout(0, 225), QStringLiteral("00:00/03:45"));
    EXPECT_EQ(FormatTimeReadout(3600, 36000), QStringLiteral("1:00:00/10:00:00"));
    EXPECT_EQ(FormatTimeReadout(59, 60), QStringLiteral("00:59/01:00"));
    EXPECT_EQ(FormatTimeReadout(10, 0), QString());
    EXPECT_EQ(ReadoutAdvance(QStringLiteral("01:15/1:02:05")), 9 * 7 + 3 * 4 + 12);
}

TEST(SpectrumTest, DrawsTheReadoutGlyphByGlyph) {
    struct Case {
        qint64 p;
        qint64 d;
        std::string text;
    };
    for (const Case& c : {Case{75, 3725, "01:15/1:02:05"}, Case{0, 225, "00:00/03:45"},
                          Case{4, 9, "00:04/00:09"}}) {
        TSpectrum spectrum(162, 70);
        spectrum.Draw(SpectrumData{}, PlayerState::Ready, c.p, c.d);
        const int x = 162 - 7 * static_cast<int>(c.text.size());
        const QRect box = ExpectReadout(spectrum.frame(), c.text, x);
        ExpectOnlyColourOutside(spectrum.frame(), kBlack, box);
    }
}

TEST(SpectrumTest, ShowsNothingWithoutADuration) {
    TSpectrum spectrum(162, 70);
    spectrum.Draw(Spectrum({{10, 1.0f}}), PlayerState::Playing, 5, 0);
    // Bars yes, read-out no: only the bar column is lit.
    ExpectOnlyColourOutside(spectrum.frame(), kBlack, QRect(5, 0, 1, 70));
    EXPECT_EQ(spectrum.bars()[5], 70);
}

TEST(SpectrumTest, BarsAndPeaksRiseAtOnceAndFallSlowly) {
    TSpectrum spectrum(162, 70);
    // Column i shows bin i + 5.
    spectrum.Draw(Spectrum({{5, 0.1f}, {6, 1.0f}, {7, 0.0199f}, {8, -0.05f}}), PlayerState::Playing,
                  0, 0);
    EXPECT_EQ(spectrum.bars()[0], 50);
    EXPECT_EQ(spectrum.bars()[1], 70); // capped at full scale
    EXPECT_EQ(spectrum.bars()[2], 9);  // truncated
    EXPECT_EQ(spectrum.bars()[3], 25); // magnitude taken absolute
    EXPECT_EQ(spectrum.peaks()[0], 50);

    for (int frame = 0; frame < 4; ++frame) {
        spectrum.Draw(SpectrumData{}, PlayerState::Playing, 0, 0);
    }
    // Bars fall 3 pixels a frame, peaks 1.
    EXPECT_EQ(spectrum.bars()[0], 38);
    EXPECT_EQ(spectrum.peaks()[0], 46);
    EXPECT_EQ(spectrum.bars()[1], 58);
    EXPECT_EQ(spectrum.peaks()[1], 66);
    EXPECT_EQ(spectrum.bars()[2], 0); // never below 0
    EXPECT_EQ(spectrum.peaks()[2], 5);

    const QImage& frame = spectrum.frame();
    EXPECT_EQ(BarHeightOf(spectrum, 0), 38);
    EXPECT_EQ(BarHeightOf(spectrum, 1), 58);
    EXPECT_EQ(BarHeightOf(spectrum, 2), 0);
    EXPECT_EQ(frame.pixel(0, 70 - 46), kYellow);
    EXPECT_EQ(frame.pixel(0, 70 - 45), kBlack); // between the bar and its peak
    EXPECT_EQ(frame.pixel(1, 70 - 66), kYellow);
    EXPECT_EQ(frame.pixel(2, 70 - 5), kYellow);

    // A rise takes the new height at once, bar and peak.
    spectrum.Draw(Spectrum({{5, 0.125f}}), PlayerState::Playing, 0, 0);
    EXPECT_EQ(spectrum.bars()[0], 62);
    EXPECT_EQ(spectrum.peaks()[0], 62);
    // The peak covers the top pixel of a bar of the same height.
    EXPECT_EQ(BarHeightOf(spectrum, 0), 61);
    EXPECT_EQ(spectrum.frame().pixel(0, 70 - 62), kYellow);
}

TEST(SpectrumTest, BarColourDependsOnTheRow) {
    TSpectrum spectrum(162, 70);
    spectrum.Draw(Spectrum({{5, 1.0f}, {6, 0.0625f}}), PlayerState::Playing, 0, 0);
    const QImage& frame = spectrum.frame();
    EXPECT_EQ(frame.pixel(0, 69), qRgb(255, 251, 0)); // 69 x 255 / 70
    EXPECT_EQ(frame.pixel(0, 35), qRgb(255, 127, 0));
    // The top pixel of a full bar is covered by its peak.
    EXPECT_EQ(frame.pixel(0, 0), kYellow);
    EXPECT_EQ(frame.pixel(0, 1), qRgb(255, 3, 0));
    // A short bar has the bottom colours only.
    EXPECT_EQ(frame.pixel(1, 69), qRgb(255, 251, 0));
    EXPECT_EQ(frame.pixel(1, 40), qRgb(255, 145, 0));
    EXPECT_EQ(frame.pixel(1, 39), kYellow); // its peak at 70 - 31
    EXPECT_EQ(frame.pixel(1, 38), kBlack);
    EXPECT_EQ(spectrum.RowColour(0), qRgb(255, 0, 0));
}

TEST(SpectrumTest, BarsOnlyWhilePlayingOrPaused) {
    const SpectrumData loud = Spectrum({{5, 0.1f}});
    for (const PlayerState state :
         {PlayerState::NoDocument, PlayerState::Ready, PlayerState::Recording}) {
        TSpectrum spectrum(162, 70);
        spectrum.Draw(loud, state, 0, 0);
        ExpectOnlyColourOutside(spectrum.frame(), kBlack, QRect());
        EXPECT_EQ(spectrum.bars()[0], 0);
    }
    // Recording still shows the read-out.
    TSpectrum recording(162, 70);
    recording.Draw(loud, PlayerState::Recording, 75, 3725);
    ExpectOnlyColourOutside(recording.frame(), kBlack,
                            ExpectReadout(recording.frame(), "01:15/1:02:05", 71));

    // Paused: the bars follow whatever spectrum they are given.
    TSpectrum paused(162, 70);
    paused.Draw(loud, PlayerState::Paused, 0, 0);
    EXPECT_EQ(paused.bars()[0], 50);
    EXPECT_EQ(BarHeightOf(paused, 0), 49);
    EXPECT_EQ(paused.frame().pixel(0, 20), kYellow);
    // Heights survive frames without bars and fall on from there.
    paused.Draw(SpectrumData{}, PlayerState::Ready, 0, 0);
    EXPECT_EQ(paused.bars()[0], 50);
    paused.Draw(SpectrumData{}, PlayerState::Playing, 0, 0);
    EXPECT_EQ(paused.bars()[0], 47);
}

TEST(SpectrumTest, NotANumberDrawsNoBar) {
    TSpectrum spectrum(162, 70);
    spectrum.Draw(Spectrum({{5, std::numeric_limits<float>::quiet_NaN()},
                            {6, std::numeric_limits<float>::infinity()}}),
                  PlayerState::Playing, 0, 0);
    EXPECT_EQ(spectrum.bars()[0], 0);
    EXPECT_EQ(spectrum.bars()[1], 70);
}

TEST(VolumeTest, BarsAndPeaksFromThePercents) {
    TVolume volume(22, 70);
    volume.Draw(100, 50, PlayerState::Playing);
    EXPECT_EQ(volume.leftBar(), 70);
    EXPECT_EQ(volume.rightBar(), 35);
    EXPECT_EQ(volume.leftPeak(), 70);
    EXPECT_EQ(volume.rightPeak(), 35);
    const QImage& frame = volume.frame();
    for (int x = 0; x < 22; ++x) {
        const bool left = x >= 2 && x < 9;
        const bool right = x >= 12 && x < 19;
        for (int y = 0; y < 70; ++y) {
            QRgb expected = kBlack;
            if (left) {
                // Row i sits at y = 70 - i; the peak line covers y = 0.
                expected = y == 0 ? kYellow : volume.RowColour(70 - y);
            } else if (right && y >= 36) {
                expected = volume.RowColour(70 - y);
            } else if (right && y == 35) {
                expected = kYellow;
            }
            ASSERT_EQ(frame.pixel(x, y), expected) << x << "," << y;
        }
    }
    // The gradient from green at the bottom towards red at full scale.
    EXPECT_EQ(volume.RowColour(0), qRgb(0, 255, 0));
    EXPECT_EQ(volume.RowColour(35), qRgb(127, 128, 0));
    EXPECT_EQ(volume.RowColour(69), qRgb(251, 4, 0));
    EXPECT_EQ(frame.pixel(2, 69), qRgb(3, 252, 0));
}

TEST(VolumeTest, PausedBarsFallToZero) {
    TVolume volume(22, 70);
    volume.Draw(100, 60, PlayerState::Playing);
    const int expectedLeft[] = {55, 40, 25, 10, 0, 0};
    const int expectedLeftPeak[] = {68, 66, 64, 62, 60, 58};
    const int expectedRight[] = {27, 12, 0, 0, 0, 0};
    for (int frame = 0; frame < 6; ++frame) {
        volume.Draw(100, 60, PlayerState::Paused);
        EXPECT_EQ(volume.leftBar(), expectedLeft[frame]) << frame;
        EXPECT_EQ(volume.leftPeak(), expectedLeftPeak[frame]) << frame;
        EXPECT_EQ(volume.rightBar(), expectedRight[frame]) << frame;
    }
    // A peak line with an empty bar below it.
    EXPECT_EQ(volume.frame().pixel(2, 70 - 58), kYellow);
    EXPECT_EQ(volume.frame().pixel(2, 69), kBlack);
}

TEST(VolumeTest, NoLevelsLetTheBarsFallWhilePlaying) {
    TVolume volume(22, 70);
    volume.Draw(80, 80, PlayerState::Playing);
    EXPECT_EQ(volume.leftBar(), 56);
    volume.Draw(0, 0, PlayerState::Playing);
    EXPECT_EQ(volume.leftBar(), 41);
    volume.Draw(10, 0, PlayerState::Playing);
    EXPECT_EQ(volume.leftBar(), 26); // the target 7 stays below the falling bar
    volume.Draw(30, 0, PlayerState::Playing);
    EXPECT_EQ(volume.leftBar(), 21); // 30 % of 70 catches it
    EXPECT_EQ(volume.leftPeak(), 50);
}

TEST(VolumeTest, OtherStatesDrawNothingAndKeepTheHeights) {
    for (const PlayerState state :
         {PlayerState::NoDocument, PlayerState::Ready, PlayerState::Recording}) {
        TVolume volume(22, 70);
        volume.Draw(50, 50, PlayerState::Playing);
        volume.Draw(100, 100, state);
        EXPECT_EQ(volume.leftBar(), 35);
        ExpectOnlyColourOutside(volume.frame(), kBlack, QRect());
    }
}
