#pragma once

#include "core/Settings.h"
#include "playback/ControllerTimer.h"
#include "render/TextRenderer.h"

#include <array>
#include <functional>
#include <memory>

// The previews imitate the cards' animation of a line: per screen one timer
// for subtitles and temporary text, one for the advertisement. A render starts
// its screen's timer with step 0 and 50 ms; every tick moves the picture on by
// the renderer's step rules, with the parameters read afresh (a settings
// change shows on the next step), and the timer goes on only while the step
// says so, so a finished animation costs nothing. User-interface thread only.
class PreviewAnimator {
public:
    using TimerFactory = std::function<std::unique_ptr<ControllerTimer>()>;
    // `repainted` is told after every step that the screen's preview changed.
    PreviewAnimator(TextRenderer& renderer, const SettingsStore& settings, TimerFactory timers,
                    std::function<void(ScreenId)> repainted);
    PreviewAnimator(const PreviewAnimator&) = delete;
    PreviewAnimator& operator=(const PreviewAnimator&) = delete;

    static constexpr int kStepMs = 50;

    void Start(ScreenId screen, EffectTimer timer);
    void Stop(ScreenId screen, EffectTimer timer);
    bool IsRunning(ScreenId screen, EffectTimer timer) const;
    // The step counter of the running or last animation.
    int Step(ScreenId screen, EffectTimer timer) const;
    ControllerTimer& timer(ScreenId screen, EffectTimer timer);

    // One tick (the timer's handler).
    void Tick(ScreenId screen, EffectTimer timer);

private:
    struct Animation {
        std::unique_ptr<ControllerTimer> timer;
        int step = 0;
    };
    Animation& at(ScreenId screen, EffectTimer timer);
    const Animation& at(ScreenId screen, EffectTimer timer) const;
    AnimationParams ParamsOf(ScreenId screen, EffectTimer timer) const;

    TextRenderer& m_renderer;
    const SettingsStore& m_settings;
    std::function<void(ScreenId)> m_repainted;
    // [screen index][0 subtitle, 1 advertisement]
    std::array<std::array<Animation, 2>, 3> m_animations;
};
