#include "DdpOutput.h"

#include "render/Bitmaps.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

QImage BlackPicture(QSize size) {
    QImage picture(std::max(size.width(), 1), std::max(size.height(), 1), QImage::Format_RGB888);
    picture.fill(Qt::black);
    return picture;
}

} // namespace

DdpOutput::DdpOutput() : m_thread([this] { Run(); }) {}

DdpOutput::~DdpOutput() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void DdpOutput::SetOutputs(const OutputSettings& settings) {
    std::lock_guard lock(m_mutex);
    for (ScreenId screen : kAllScreens) {
        screenLocked(screen).outputs = settings.screen(screen);
    }
}

void DdpOutput::SetScreenSize(ScreenId screen, int width, int height) {
    std::lock_guard lock(m_mutex);
    screenLocked(screen).size = QSize(std::max(width, 1), std::max(height, 1));
}

bool DdpOutput::HasReceivers(ScreenId screen) const {
    std::lock_guard lock(m_mutex);
    return !screenLocked(screen).outputs.ddp.empty();
}

void DdpOutput::FrameOnShow(ScreenId screen, const QImage& frame, const FrameEffect& effect) {
    {
        std::lock_guard lock(m_mutex);
        Screen& state = screenLocked(screen);
        if (state.outputs.ddp.empty()) {
            return;
        }
        state.pending = frame;
        state.pendingEffect = effect;
    }
    m_wake.notify_all();
}

DdpReport DdpOutput::Report(ScreenId screen) const {
    std::lock_guard lock(m_mutex);
    return screenLocked(screen).report;
}

bool DdpOutput::WaitFramesSent(ScreenId screen, long long frames, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_sent.wait_for(lock, limit,
                           [&] { return screenLocked(screen).report.frames >= frames; });
}

bool DdpOutput::WaitIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_sent.wait_for(lock, limit, [this] {
        return !m_sending && std::none_of(m_screens.begin(), m_screens.end(), [](const Screen& s) {
            return s.pending.has_value() || s.due.has_value();
        });
    });
}

std::optional<QImage> DdpOutput::NextPictureLocked(ScreenId screen, Clock::time_point now) {
    Screen& state = screenLocked(screen);
    const bool turned = screen == ScreenId::s;
    if (state.pending) {
        // The card frame of the vertical screen is the picture turned a
        // quarter turn anticlockwise; the wall stands upright.
        state.picture = turned ? TurnClockwise(*state.pending) : *state.pending;
        state.effect = state.pendingEffect;
        state.pending.reset();
        state.step = 0;
        state.canvas = BlackPicture(state.size);
        if (state.effect.effect == 0) {
            // A still line: its frame is the screen's picture.
            state.due.reset();
            return state.picture;
        }
        state.due = now;
    }
    if (!state.due || *state.due > now) {
        return std::nullopt;
    }
    const AnimationParams params{state.effect.effect, state.effect.speed, state.effect.rollStay};
    const AnimationStep next =
        EffectAnimationStep(turned ? AnimationAxes::VerticalScreen : AnimationAxes::Horizontal,
                            params, state.step, state.canvas.size(), state.picture.size());
    // The canvas is detached from the picture sent before, which the thread
    // may still hold.
    QImage canvas = state.canvas.copy();
    ApplyAnimationStep(next, state.picture, canvas);
    state.canvas = canvas;
    state.step = next.step;
    if (next.continues) {
        state.due = *state.due + std::chrono::milliseconds(std::max(next.intervalMs, 1));
        if (*state.due < now) {
            // Behind (a slow receiver path): go on from now, not in a burst.
            state.due = now + std::chrono::milliseconds(std::max(next.intervalMs, 1));
        }
    } else {
        state.due.reset();
    }
    return canvas;
}

void DdpOutput::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        const Clock::time_point now = Clock::now();
        bool sentAny = false;
        for (ScreenId screen : kAllScreens) {
            Screen& state = screenLocked(screen);
            std::optional<QImage> picture = NextPictureLocked(screen, now);
            if (!picture) {
                continue;
            }
            const ScreenOutputs outputs = state.outputs;
            state.sequence = ddp::NextSequence(state.sequence);
            const int sequence = state.sequence;
            m_sending = true;
            lock.unlock();

            const Clock::time_point start = Clock::now();
            const std::vector<QByteArray> packets =
                ddp::FramePackets(ddp::PixelBytes(*picture, outputs.pixels), sequence);
            QString error;
            const int refused = m_socket.Send(packets, outputs.ddp, &error);
            const auto took =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
            picture.reset();

            lock.lock();
            DdpReport& report = state.report;
            ++report.frames;
            report.packets += static_cast<long long>(packets.size() * outputs.ddp.size());
            report.refused += refused;
            if (!error.isEmpty()) {
                report.lastError = error;
            }
            report.lastSendTime = took;
            m_sending = false;
            sentAny = true;
        }
        if (sentAny) {
            m_sent.notify_all();
            continue;
        }
        std::optional<Clock::time_point> until;
        for (const Screen& state : m_screens) {
            if (state.pending) {
                until = now;
            } else if (state.due && (!until || *state.due < *until)) {
                until = state.due;
            }
        }
        if (until && *until <= now) {
            continue;
        }
        // Going to sleep: whoever waits for the output to be idle looks now.
        m_sent.notify_all();
        const auto woken = [this] {
            return m_stop || std::any_of(m_screens.begin(), m_screens.end(),
                                         [](const Screen& s) { return s.pending.has_value(); });
        };
        if (until) {
            m_wake.wait_until(lock, *until, woken);
        } else {
            m_wake.wait(lock, woken);
        }
    }
}
