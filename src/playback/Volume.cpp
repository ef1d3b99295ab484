#include "Volume.h"

#include <algorithm>

TVolume::TVolume(int width, int height)
    : m_frame(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32) {
    m_look.fullScale = m_frame.height();
    m_frame.fill(m_look.backgroundColour);
}

QRgb TVolume::RowColour(int i) const {
    const int scale = std::max(m_look.fullScale, 1);
    const QColor& a = m_look.gradientStart;
    const QColor& b = m_look.gradientEnd;
    const auto blend = [&](int from, int to) {
        return std::clamp(from + i * (to - from) / scale, 0, 255);
    };
    return qRgb(blend(a.red(), b.red()), blend(a.green(), b.green()), blend(a.blue(), b.blue()));
}

void TVolume::Follow(int percent, PlayerState state, int& bar, int& peak) const {
    bar = std::max(bar - m_look.barFall, 0);
    const int target = state == PlayerState::Paused ? 0 : percent * m_look.fullScale / 100;
    if (target >= bar) {
        bar = target;
    }
    peak = std::max(peak - m_look.peakFall, 0);
    if (bar >= peak) {
        peak = bar;
    }
}

void TVolume::DrawChannel(int x0, int bar, int peak) {
    const int h = m_frame.height();
    const int x1 = std::min(x0 + m_look.barWidth, m_frame.width());
    const auto line = [&](int y, QRgb colour) {
        if (y < 0 || y >= h) {
            return;
        }
        for (int x = std::max(x0, 0); x < x1; ++x) {
            m_frame.setPixel(x, y, colour);
        }
    };
    // Row i of a bar sits at y = h - i, so its lowest row lies just below the
    // frame: a bar of height n shows n - 1 rows.
    for (int i = 0; i < bar; ++i) {
        line(h - i, RowColour(i));
    }
    if (m_look.showPeaks) {
        line(h - peak, m_look.peakColour.rgb());
    }
}

const QImage& TVolume::Draw(int leftPercent, int rightPercent, PlayerState state) {
    m_frame.fill(m_look.backgroundColour);
    if (state == PlayerState::Playing || state == PlayerState::Paused) {
        Follow(leftPercent, state, m_leftBar, m_leftPeak);
        Follow(rightPercent, state, m_rightBar, m_rightPeak);
        DrawChannel(2, m_leftBar, m_leftPeak);
        DrawChannel(m_look.barWidth + 5, m_rightBar, m_rightPeak);
    }
    return m_frame;
}
