#pragma once

#include "FrameSink.h"

// Keeps the last frame handed over and sends nothing: for writing a frame out
// (the command-line tool) or comparing it with what a card shows.
class LastFrameSink final : public FrameSink {
public:
    void LoadScreenBitmap(ScreenId, const QImage& frame, const FrameEffect&) override {
        m_frame = frame;
    }
    void RequestFrame(ScreenId) override {}
    const QImage& frame() const { return m_frame; }

private:
    QImage m_frame;
};
