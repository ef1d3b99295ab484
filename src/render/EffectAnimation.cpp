#include "EffectAnimation.h"

#include "Bitmaps.h"
#include "TextRules.h"

#include <algorithm>

namespace {

StepCopy Copy(int sl, int st, int sr, int sb, int tl, int tt, int tr, int tb) {
    return StepCopy{StepRect{sl, st, sr, sb}, StepRect{tl, tt, tr, tb}};
}

// Scrolling along one axis. `length` is the preview's extent along the
// scroll, `extent` the picture's; `along` builds a copy from positions along
// the scroll (the other axis always covers the whole picture and preview).
template <typename Along>
AnimationStep Scroll(const AnimationParams& params, int step, int length, int extent, Along along) {
    AnimationStep result;
    const int speed = params.speed;
    int t = step + speed;
    if (params.pause > 0 && extent > length &&
        (t == length || (t > length && t - speed < length))) {
        // The start of a text longer than the screen has reached the edge.
        t = length;
        result.intervalMs = params.pause * 1000;
    }
    if (t <= length) {
        result.copy = along(0, t, length - t, length);
    } else {
        const int d = t - length;
        if (extent - d < length) {
            result.clearFirst = true;
            result.copy = along(d, extent, 0, extent - d);
        } else {
            result.copy = along(d, d + length, 0, length);
        }
    }
    if (t - length >= extent) {
        t = 0;
    }
    result.step = t;
    result.continues = true;
    return result;
}

} // namespace

AnimationStep EffectAnimationStep(AnimationAxes axes, const AnimationParams& params, int step,
                                  QSize preview, QSize picture) {
    const int iw = preview.width();
    const int ih = preview.height();
    const int bw = picture.width();
    const int bh = picture.height();
    const int t = step + params.speed;

    // The moves, named by what they show: the picture entering from the
    // bottom (its top rows first), from the top, from the right, from the left.
    auto fromBottom = [&](AnimationStep& r) {
        r.step = std::min(t, ih);
        r.copy = Copy(0, 0, bw, r.step, 0, ih - r.step, iw, ih);
        r.continues = r.step < ih;
    };
    auto fromTop = [&](AnimationStep& r) {
        r.step = std::min(t, ih);
        r.copy = Copy(0, ih - r.step, bw, bh, 0, 0, iw, r.step);
        r.continues = r.step < ih;
    };
    auto fromRight = [&](AnimationStep& r) {
        r.step = std::min(t, iw);
        r.copy = Copy(0, 0, r.step, bh, iw - r.step, 0, iw, ih);
        r.continues = r.step < iw;
    };
    auto fromLeft = [&](AnimationStep& r) {
        r.step = std::min(t, iw);
        r.copy = Copy(iw - r.step, 0, bw, bh, 0, 0, r.step, ih);
        r.continues = r.step < iw;
    };

    AnimationStep result;
    result.intervalMs = kAnimationIntervalMs;
    const bool horizontal = axes == AnimationAxes::Horizontal;
    switch (params.effect) {
    case 1:
        if (horizontal) {
            return Scroll(params, step, iw, bw, [&](int s0, int s1, int t0, int t1) {
                return Copy(s0, 0, s1, bh, t0, 0, t1, ih);
            });
        }
        return Scroll(params, step, ih, bh, [&](int s0, int s1, int t0, int t1) {
            return Copy(0, s0, bw, s1, 0, t0, iw, t1);
        });
    case 2:
        horizontal ? fromBottom(result) : fromLeft(result);
        break;
    case 3:
        horizontal ? fromTop(result) : fromRight(result);
        break;
    case 4:
        horizontal ? fromRight(result) : fromBottom(result);
        break;
    case 5:
        horizontal ? fromLeft(result) : fromTop(result);
        break;
    default:
        result.step = t;
        result.continues = false;
        break;
    }
    return result;
}

void ApplyAnimationStep(const AnimationStep& step, const QImage& picture, QImage& preview) {
    if (step.clearFirst) {
        FillBlack(preview, preview.rect());
    }
    if (step.copy && !step.copy->source.isEmpty() && !step.copy->target.isEmpty()) {
        CopyScaled(picture, step.copy->source.toQRect(), preview, step.copy->target.toQRect());
    }
}
