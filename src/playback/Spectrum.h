#pragma once

#include "AudioEngine.h"
#include "PlayerState.h"

#include <QColor>
#include <QImage>

#include <array>

// The spectrum analyser above the play buttons: 128 one-pixel columns of
// FFT bins 5..132 with falling peaks, and the position/duration read-out. It
// composes each picture in its own frame; the widget copies the frame in one
// step so nothing flickers. Called on the user-interface thread.
class TSpectrum {
public:
    static constexpr int kColumns = 128;
    static constexpr int kFirstBin = 5;

    TSpectrum(int width, int height);

    // The look; the defaults are the station's.
    struct Look {
        int left = 0;
        int top = 0;
        QColor backgroundColour{0, 0, 0};
        int fullScale = 0; // longest bar in pixels; the frame height
        QColor peakColour{255, 255, 0};
        QColor gradientBottom{255, 255, 0};
        QColor gradientTop{255, 0, 0};
        int binStep = 1;
        bool clear = true;
        bool useBackgroundPicture = false;
        QImage backgroundPicture;
        int peakFall = 1;
        int barFall = 3;
        bool showPeaks = true;
        QColor readoutColour{255, 255, 0};
    };
    Look& look() { return m_look; }

    // One heartbeat's picture: bars from the FFT magnitudes in the playing and
    // paused states, then the read-out of position p and duration d seconds.
    const QImage& Draw(const SpectrumData& fft, PlayerState state, qint64 p, qint64 d);

    const QImage& frame() const { return m_frame; }
    const std::array<int, kColumns>& bars() const { return m_bars; }
    const std::array<int, kColumns>& peaks() const { return m_peaks; }
    // The colour of a bar pixel in frame row y.
    QRgb RowColour(int y) const;

private:
    Look m_look;
    QImage m_frame;
    std::array<int, kColumns> m_peaks{};
    std::array<int, kColumns> m_bars{};
};
