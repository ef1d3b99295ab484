#pragma once

#include "outputs/OutputSettings.h"

#include "render/EffectAnimation.h"
#include "render/Rasteriser.h"
#include "render/TextRenderer.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <optional>

// A screen's line drawn again for a monitor or projector: the same layout
// (font, size mode, colour, alignment, rows) at the monitor's resolution
// instead of the LED bitmap scaled up, and its effect played at the same
// pace, each step moving as far across the picture as the screen's does.

struct MonitorLine {
    QImage picture; // upright; longer than `area` along a scroll
    QSize area;     // the screen's picture at the monitor's scale
    double scale = 1;
    FrameEffect effect; // speed already scaled
    AnimationAxes axes = AnimationAxes::Horizontal;
};

// The line laid out at `scale` times the screen's size. Where the larger
// layout is refused (a scroll longer than the layout takes), the screen's own
// layout is drawn and scaled up smoothly, so the monitor is never left empty.
MonitorLine LayOutForMonitor(Rasteriser& rasteriser, ScreenId screen, const RenderedLine& line,
                             double scale);

// The screen's size as the audience sees it (the layout's frame, turned back).
QSize ScreenSizeOf(const RenderedLine& line);

// Where the layout puts the line (current) and, for the confidence layout,
// the next line on a monitor of `monitor` size, for a screen of `screen` size.
struct MonitorBands {
    QRect current;
    QRect next; // empty for the projector layout
    double currentScale = 1;
    double nextScale = 1;
};
MonitorBands BandsFor(MonitorLayout layout, QSize monitor, QSize screen);

// The next line, as the confidence layout shows it: one row, still.
RenderedLine NextLineOf(const RenderedLine& line);

// One animation step of a monitor line into `canvas` (the line's area): the
// step counter, whether more follow and when.
AnimationStep StepMonitorLine(const MonitorLine& line, int step, QImage& canvas);
