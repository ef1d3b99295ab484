#include "render/EffectAnimation.h"
#include "render/Bitmaps.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

StepCopy Copy(int sl, int st, int sr, int sb, int tl, int tt, int tr, int tb) {
    return StepCopy{StepRect{sl, st, sr, sb}, StepRect{tl, tt, tr, tb}};
}

AnimationStep Tick(AnimationAxes axes, int effect, int step, int speed, int pause, QSize preview,
                   QSize picture) {
    return EffectAnimationStep(axes, AnimationParams{effect, speed, pause}, step, preview, picture);
}

const QSize kScreen(256, 32);

} // namespace

TEST(EffectAnimation, MoveUpRevealsTheTopRowsAtTheBottomAndStopsWhenComplete) {
    // Speed 3 on 256 x 32: the first tick shows the top 3 rows at the bottom 3 rows.
    AnimationStep step = Tick(AnimationAxes::Horizontal, 2, 0, 3, 0, kScreen, kScreen);
    EXPECT_EQ(step.step, 3);
    EXPECT_EQ(step.copy, Copy(0, 0, 256, 3, 0, 29, 256, 32));
    EXPECT_TRUE(step.continues);
    EXPECT_EQ(step.intervalMs, 50);

    int ticks = 1;
    while (step.continues) {
        step = Tick(AnimationAxes::Horizontal, 2, step.step, 3, 0, kScreen, kScreen);
        ++ticks;
    }
    // The 11th tick reaches T = 33, clamped to 32: the whole picture stands.
    EXPECT_EQ(ticks, 11);
    EXPECT_EQ(step.step, 32);
    EXPECT_EQ(step.copy, Copy(0, 0, 256, 32, 0, 0, 256, 32));
}

TEST(EffectAnimation, MovesOfBothTables) {
    struct Case {
        AnimationAxes axes;
        int effect;
        int stepBefore;
        StepCopy copy;
        bool continues;
    };
    const QSize screen(64, 16);
    const std::vector<Case> cases = {
        // horizontal and small screens
        {AnimationAxes::Horizontal, 3, 0, Copy(0, 12, 64, 16, 0, 0, 64, 4), true},   // down
        {AnimationAxes::Horizontal, 4, 0, Copy(0, 0, 4, 16, 60, 0, 64, 16), true},   // left
        {AnimationAxes::Horizontal, 5, 0, Copy(60, 0, 64, 16, 0, 0, 4, 16), true},   // right
        {AnimationAxes::Horizontal, 4, 62, Copy(0, 0, 64, 16, 0, 0, 64, 16), false}, // clamped
        {AnimationAxes::Horizontal, 3, 14, Copy(0, 0, 64, 16, 0, 0, 64, 16), false},
        // the vertical screen's card moves along the other axis
        {AnimationAxes::VerticalScreen, 2, 0, Copy(60, 0, 64, 16, 0, 0, 4, 16), true},
        {AnimationAxes::VerticalScreen, 3, 0, Copy(0, 0, 4, 16, 60, 0, 64, 16), true},
        {AnimationAxes::VerticalScreen, 4, 0, Copy(0, 0, 64, 4, 0, 12, 64, 16), true},
        {AnimationAxes::VerticalScreen, 5, 0, Copy(0, 12, 64, 16, 0, 0, 64, 4), true},
        {AnimationAxes::VerticalScreen, 2, 61, Copy(0, 0, 64, 16, 0, 0, 64, 16), false},
        {AnimationAxes::VerticalScreen, 4, 13, Copy(0, 0, 64, 16, 0, 0, 64, 16), false},
    };
    for (const Case& c : cases) {
        const AnimationStep step = Tick(c.axes, c.effect, c.stepBefore, 4, 0, screen, screen);
        EXPECT_EQ(step.copy, c.copy) << "effect " << c.effect << " from " << c.stepBefore;
        EXPECT_EQ(step.continues, c.continues) << "effect " << c.effect;
        EXPECT_EQ(step.intervalMs, 50);
        EXPECT_FALSE(step.clearFirst);
    }
}

TEST(EffectAnimation, NoEffectStopsWithoutCopying) {
    for (int effect : {0, 6, -1}) {
        const AnimationStep step =
            Tick(AnimationAxes::Horizontal, effect, 0, 5, 2, kScreen, kScreen);
        EXPECT_FALSE(step.continues);
        EXPECT_FALSE(step.copy.has_value());
    }
}

TEST(EffectAnimation, ScrollPausesWhenALongTextStartReachesTheEdgeThenRestarts) {
    // A 600-pixel text on a 256-pixel screen, speed 4, pause 2.
    const QSize picture(600, 32);
    AnimationStep step;
    std::vector<int> pausesAt;
    bool restarted = false;
    int previous = 0;
    for (int tick = 0; tick < 400 && !restarted; ++tick) {
        step = Tick(AnimationAxes::Horizontal, 1, previous, 4, 2, kScreen, picture);
        EXPECT_TRUE(step.continues);
        if (step.intervalMs != 50) {
            EXPECT_EQ(step.intervalMs, 2000);
            pausesAt.push_back(step.step);
        }
        if (previous < 256 && step.step > 0) {
            // Entering: the text's start comes in from the right edge.
            EXPECT_EQ(step.copy, Copy(0, 0, step.step, 32, 256 - step.step, 0, 256, 32));
        }
        if (step.step == 0) {
            restarted = true;
            // T - 256 >= 600 on this tick: T = 856.
            EXPECT_EQ(previous + 4, 856);
            EXPECT_TRUE(step.clearFirst);
        }
        previous = step.step;
    }
    EXPECT_TRUE(restarted);
    // Exactly one pause per pass, with the text's start at the left edge.
    EXPECT_EQ(pausesAt, std::vector<int>{256});

    // Mid-way: the window onto the text slides.
    step = Tick(AnimationAxes::Horizontal, 1, 296, 4, 2, kScreen, picture);
    EXPECT_EQ(step.copy, Copy(44, 0, 300, 32, 0, 0, 256, 32));
    EXPECT_FALSE(step.clearFirst);
    // The tail leaving: the rest is cleared and only the tail is copied.
    step = Tick(AnimationAxes::Horizontal, 1, 600, 4, 2, kScreen, picture);
    EXPECT_TRUE(step.clearFirst);
    EXPECT_EQ(step.copy, Copy(348, 0, 600, 32, 0, 0, 252, 32));
}

TEST(EffectAnimation, ScrollPassingTheEdgeIsPulledBackToIt) {
    // Speed 10 jumps from 250 to 260: the step is pulled back to 256 and pauses.
    const AnimationStep step =
        Tick(AnimationAxes::Horizontal, 1, 250, 10, 3, kScreen, QSize(700, 32));
    EXPECT_EQ(step.step, 256);
    EXPECT_EQ(step.intervalMs, 3000);
    EXPECT_EQ(step.copy, Copy(0, 0, 256, 32, 0, 0, 256, 32));
}

TEST(EffectAnimation, ScrollWithoutPauseOrWithShortTextNeverPauses) {
    for (const auto& [pause, width] : std::vector<std::pair<int, int>>{{0, 600}, {2, 256}}) {
        int step = 0;
        for (int tick = 0; tick < 200; ++tick) {
            const AnimationStep next =
                Tick(AnimationAxes::Horizontal, 1, step, 4, pause, kScreen, QSize(width, 32));
            EXPECT_EQ(next.intervalMs, 50) << "pause " << pause << " width " << width;
            step = next.step;
        }
    }
}

TEST(EffectAnimation, VerticalScreenScrollsBottomToTopWithPause) {
    const QSize screen(32, 256);
    const QSize picture(32, 600);
    AnimationStep step = Tick(AnimationAxes::VerticalScreen, 1, 0, 4, 1, screen, picture);
    EXPECT_EQ(step.copy, Copy(0, 0, 32, 4, 0, 252, 32, 256));
    step = Tick(AnimationAxes::VerticalScreen, 1, 252, 4, 1, screen, picture);
    EXPECT_EQ(step.step, 256);
    EXPECT_EQ(step.intervalMs, 1000);
    step = Tick(AnimationAxes::VerticalScreen, 1, 296, 4, 1, screen, picture);
    EXPECT_EQ(step.copy, Copy(0, 44, 32, 300, 0, 0, 32, 256));
    step = Tick(AnimationAxes::VerticalScreen, 1, 600, 4, 1, screen, picture);
    EXPECT_TRUE(step.clearFirst);
    EXPECT_EQ(step.copy, Copy(0, 348, 32, 600, 0, 0, 32, 252));
    step = Tick(AnimationAxes::VerticalScreen, 1, 852, 4, 1, screen, picture);
    EXPECT_EQ(step.step, 0);
}

TEST(EffectAnimation, ApplyingAStepMovesPixelsIntoThePreview) {
    QImage picture = BlackBitmap(8, 4);
    picture.setPixel(0, 0, kRed);
    QImage preview = BlackBitmap(8, 4);
    preview.setPixel(7, 3, kGreen);
    // Move left at speed 2: the picture's first two columns at the right edge.
    const AnimationStep step =
        Tick(AnimationAxes::Horizontal, 4, 0, 2, 0, QSize(8, 4), QSize(8, 4));
    ApplyAnimationStep(step, picture, preview);
    EXPECT_EQ(preview.pixel(6, 0), kRed);
    EXPECT_EQ(preview.pixel(7, 3), kBlack); // overwritten by the copy

    QImage cleared = BlackBitmap(8, 4);
    cleared.setPixel(0, 0, kGreen);
    AnimationStep clear;
    clear.clearFirst = true;
    ApplyAnimationStep(clear, picture, cleared);
    EXPECT_TRUE(cleared == BlackBitmap(8, 4));
}
