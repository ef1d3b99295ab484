#pragma once

#include "PlayerState.h"

#include <QColor>
#include <QImage>

// The two-channel volume meter beside the spectrum: a green-to-red bar per
// channel with a falling peak line. Called on the user-interface thread.
class TVolume {
public:
    TVolume(int width, int height);

    struct Look {
        QColor backgroundColour{0, 0, 0};
        QColor peakColour{255, 255, 0};
        QColor gradientStart{0, 255, 0};
        QColor gradientEnd{255, 0, 0};
        int fullScale = 0; // bar length at 100 %; the frame height
        int barWidth = 7;
        int peakFall = 2;
        int barFall = 15;
        bool showPeaks = true;
    };
    Look& look() { return m_look; }

    // One heartbeat's picture from the channel levels in percent of full scale.
    const QImage& Draw(int leftPercent, int rightPercent, PlayerState state);

    const QImage& frame() const { return m_frame; }
    int leftBar() const { return m_leftBar; }
    int rightBar() const { return m_rightBar; }
    int leftPeak() const { return m_leftPeak; }
    int rightPeak() const { return m_rightPeak; }
    // The colour of bar row i, counted from 0 at the bottom.
    QRgb RowColour(int i) const;

private:
    void Follow(int percent, PlayerState state, int& bar, int& peak) const;
    void DrawChannel(int x0, int bar, int peak);

    Look m_look;
    QImage m_frame;
    int m_leftPeak = 0;
    int m_rightPeak = 0;
    int m_leftBar = 0;
    int m_rightBar = 0;
};
