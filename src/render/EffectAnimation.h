#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <optional>

// The previews imitate the cards' animation of a line: every tick moves the
// rendered picture a few pixels further into the preview image. These are the
// pure step rules; the timers and windows that run them belong to the user
// interface.

// A rectangle with exclusive right and bottom edges.
struct StepRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    QRect toQRect() const { return QRect(left, top, width(), height()); }
    bool operator==(const StepRect&) const = default;
};

// Source rectangle of the rendered picture copied into the destination
// rectangle of the preview, scaled when the sizes differ.
struct StepCopy {
    StepRect source;
    StepRect target;
    bool operator==(const StepCopy&) const = default;
};

struct AnimationStep {
    int step = 0;            // the new step counter
    bool clearFirst = false; // fill the preview black before copying
    std::optional<StepCopy> copy;
    bool continues = false; // start the timer again
    int intervalMs = 50;    // its next interval (longer while a scroll pauses)
    bool operator==(const AnimationStep&) const = default;
};

// The horizontal and small screens move along the picture's axes; the
// vertical screen's card moves along its own axes, which are the picture's
// turned a quarter turn, so its steps run along the other axis.
enum class AnimationAxes { Horizontal, VerticalScreen };

struct AnimationParams {
    int effect = 0; // 1 scroll, 2 up, 3 down, 4 left, 5 right; others stop
    int speed = 1;  // pixels per step
    int pause = 0;  // seconds a scroll holds when a long text's start reaches the edge
};

// One tick: step is the counter before the tick, preview the size of the
// preview image (the screen's size) and picture the size of the rendered
// picture (never smaller than the screen).
AnimationStep EffectAnimationStep(AnimationAxes axes, const AnimationParams& params, int step,
                                  QSize preview, QSize picture);

// Applies a step to the preview image from the rendered picture.
void ApplyAnimationStep(const AnimationStep& step, const QImage& picture, QImage& preview);
