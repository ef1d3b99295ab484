#pragma once

#include "core/ScreenId.h"

#include <QImage>

// How a rendered frame is to be shown by the cards: the screen's effect, speed
// and scroll pause at the moment of rendering.
struct FrameEffect {
    int effect = 0;
    int speed = 1;
    int rollStay = 1;
    bool operator==(const FrameEffect&) const = default;
};

// Where the renderer hands its frames: the link's worker (live sending), the
// offline record writer while offline data is generated, or a recording sink
// in tests. Called on the user-interface thread only.
class FrameSink {
public:
    virtual ~FrameSink() = default;

    // The screen's picture in the card's own orientation (QImage::Format_RGB888;
    // the vertical screen's frame is already turned). Its width along the
    // direction of travel is the line extent. The renderer never writes into
    // an image after handing it over, so the sink may keep it as it is.
    virtual void LoadScreenBitmap(ScreenId screen, const QImage& frame,
                                  const FrameEffect& effect) = 0;
    // Raises the screen's send request for the picture loaded last.
    virtual void RequestFrame(ScreenId screen) = 0;
};
