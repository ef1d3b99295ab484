#include "Spectrum.h"

#include "TimeReadout.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Component of a gradient from a (row 0) towards b (row `rows`), truncated
// toward zero like the rest of the station's layout arithmetic.
int Blend(int a, int b, int row, int rows) {
    return a + (b - a) * row / rows;
}

// Bar height of one FFT magnitude; anything that is not a number counts as 0.
int LevelOf(float magnitude, int fullScale) {
    const double scaled = std::fabs(static_cast<double>(magnitude)) * 500.0;
    if (scaled >= fullScale) {
        return fullScale;
    }
    return scaled > 0.0 ? static_cast<int>(scaled) : 0;
}

} // namespace

TSpectrum::TSpectrum(int width, int height)
    : m_frame(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32) {
    m_look.fullScale = m_frame.height();
    m_frame.fill(m_look.backgroundColour);
}

QRgb TSpectrum::RowColour(int y) const {
    const int h = m_frame.height();
    const QColor& top = m_look.gradientTop;
    const QColor& bottom = m_look.gradientBottom;
    return qRgb(Blend(top.red(), bottom.red(), y, h), Blend(top.green(), bottom.green(), y, h),
                Blend(top.blue(), bottom.blue(), y, h));
}

const QImage& TSpectrum::Draw(const SpectrumData& fft, PlayerState state, qint64 p, qint64 d) {
    const int w = m_frame.width();
    const int h = m_frame.height();
    if (m_look.clear) {
        if (m_look.useBackgroundPicture && !m_look.backgroundPicture.isNull()) {
            QPainter painter(&m_frame);
            painter.drawImage(0, 0, m_look.backgroundPicture);
        } else {
            m_frame.fill(m_look.backgroundColour);
        }
    }
    if (state == PlayerState::Playing || state == PlayerState::Paused) {
        const QRgb peakColour = m_look.peakColour.rgb();
        for (int i = 0; i < kColumns; ++i) {
            const int bin = i * m_look.binStep + kFirstBin;
            const float value =
                bin >= 0 && bin < kSpectrumBins ? fft[static_cast<size_t>(bin)] : 0.0f;
            const int level = LevelOf(value, m_look.fullScale);
            int& peak = m_peaks[static_cast<size_t>(i)];
            int& bar = m_bars[static_cast<size_t>(i)];
            peak = level < peak ? std::max(peak - m_look.peakFall, 0) : level;
            bar = level < bar ? std::max(bar - m_look.barFall, 0) : level;

            const int x = m_look.left + i;
            if (x < 0 || x >= w) {
                continue;
            }
            for (int y = std::max(m_look.top + h - bar, 0);
                 y <= std::min(m_look.top + h - 1, h - 1); ++y) {
                m_frame.setPixel(x, y, RowColour(y));
            }
            if (m_look.showPeaks) {
                const int y = m_look.top + h - peak;
                if (y >= 0 && y < h) {
                    m_frame.setPixel(x, y, peakColour);
                }
            }
        }
    }
    DrawTimeReadout(m_frame, p, d, m_look.readoutColour);
    return m_frame;
}
