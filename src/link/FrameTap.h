#pragma once

#include "core/ScreenId.h"
#include "render/FrameSink.h"

#include <QImage>

// Sees each frame of a screen at the moment it goes on show: when the screen's
// sender sends the frame's SwapBuffers to the cards, or, with no card online,
// when the frame's transfer is done. Outputs beside the cards hang here so
// they change together with the cards.
class FrameTap {
public:
    virtual ~FrameTap() = default;
    // Called on the screen's sender thread, between the data pass and the
    // swap pass: it must hand the frame on and return at once, never wait on
    // the network. The frame is in the card's orientation, as the worker has
    // it (FrameSink).
    virtual void FrameOnShow(ScreenId screen, const QImage& frame, const FrameEffect& effect) = 0;
};
