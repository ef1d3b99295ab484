#include "PreviewAnimator.h"

namespace {

std::size_t KindIndex(EffectTimer timer) {
    return timer == EffectTimer::Subtitle ? 0 : 1;
}

} // namespace

PreviewAnimator::PreviewAnimator(TextRenderer& renderer, const SettingsStore& settings,
                                 TimerFactory timers, std::function<void(ScreenId)> repainted)
    : m_renderer(renderer), m_settings(settings), m_repainted(std::move(repainted)) {
    for (ScreenId screen : kAllScreens) {
        for (EffectTimer kind : {EffectTimer::Subtitle, EffectTimer::Advert}) {
            Animation& animation = at(screen, kind);
            animation.timer = timers();
            animation.timer->SetHandler([this, screen, kind] { Tick(screen, kind); });
        }
    }
}

PreviewAnimator::Animation& PreviewAnimator::at(ScreenId screen, EffectTimer timer) {
    return m_animations[std::size_t(ScreenIndex(screen))][KindIndex(timer)];
}

const PreviewAnimator::Animation& PreviewAnimator::at(ScreenId screen, EffectTimer timer) const {
    return m_animations[std::size_t(ScreenIndex(screen))][KindIndex(timer)];
}

ControllerTimer& PreviewAnimator::timer(ScreenId screen, EffectTimer timer) {
    return *at(screen, timer).timer;
}

void PreviewAnimator::Start(ScreenId screen, EffectTimer timer) {
    Animation& animation = at(screen, timer);
    animation.step = 0;
    animation.timer->Start(kStepMs);
}

void PreviewAnimator::Stop(ScreenId screen, EffectTimer timer) {
    at(screen, timer).timer->Stop();
}

bool PreviewAnimator::IsRunning(ScreenId screen, EffectTimer timer) const {
    return at(screen, timer).timer->IsActive();
}

int PreviewAnimator::Step(ScreenId screen, EffectTimer timer) const {
    return at(screen, timer).step;
}

AnimationParams PreviewAnimator::ParamsOf(ScreenId screen, EffectTimer timer) const {
    if (timer == EffectTimer::Subtitle) {
        const TTextEffect& effect = m_settings.ActiveSettings.effect(screen);
        return {effect.Effect, effect.Speed, effect.RollStay};
    }
    return {m_settings.Ad.tej, m_settings.Ad.sud, m_settings.Ad.tingl};
}

void PreviewAnimator::Tick(ScreenId screen, EffectTimer timer) {
    Animation& animation = at(screen, timer);
    animation.timer->Stop();
    // The horizontal screen's subtitle animation takes over from a running
    // advertisement animation on the same preview.
    if (timer == EffectTimer::Subtitle && screen == ScreenId::h) {
        Stop(screen, EffectTimer::Advert);
    }
    const AnimationStep next =
        m_renderer.AnimatePreview(screen, ParamsOf(screen, timer), animation.step);
    animation.step = next.step;
    if (m_repainted) {
        m_repainted(screen);
    }
    if (next.continues) {
        animation.timer->Start(next.intervalMs);
    }
}
