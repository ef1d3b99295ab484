#pragma once

#include "outputs/DdpSocket.h"
#include "outputs/OutputSettings.h"

#include "link/FrameTap.h"
#include "render/EffectAnimation.h"

#include <QImage>
#include <QSize>

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// What a screen's DDP output has done since construction.
struct DdpReport {
    long long frames = 0;                      // pictures sent (each animation step is one)
    long long packets = 0;                     // datagrams handed to the system
    long long refused = 0;                     // datagrams the system refused
    QString lastError;                         // the latest refusal's reason
    std::chrono::microseconds lastSendTime{0}; // encoding and sending the latest picture
};

// Sends the screens' frames to DDP receivers as they go on show (FrameTap).
// The wall shows what the audience sees: the vertical screen's frame is turned
// back upright, and a line with an effect is played the way the cards and
// the preview animate it, one picture a step, so a DDP wall scrolls with the
// cards. A new frame replaces the one in play.
//
// Threads: one sending thread; the tap only hands the frame over. DDP has no
// answers, so nothing on the card path ever waits on a receiver. Every public
// function is safe from any thread.
class DdpOutput final : public FrameTap {
public:
    DdpOutput();
    ~DdpOutput() override;
    DdpOutput(const DdpOutput&) = delete;
    DdpOutput& operator=(const DdpOutput&) = delete;

    // The receivers and pixel options of every screen; a screen without
    // receivers sends nothing.
    void SetOutputs(const OutputSettings& settings);
    // The screen's size as the audience sees it (an animated line is played
    // into a picture of that size).
    void SetScreenSize(ScreenId screen, int width, int height);
    bool HasReceivers(ScreenId screen) const;

    void FrameOnShow(ScreenId screen, const QImage& frame, const FrameEffect& effect) override;

    DdpReport Report(ScreenId screen) const;
    // Waits until the screen has sent at least `frames` pictures.
    bool WaitFramesSent(ScreenId screen, long long frames, std::chrono::milliseconds limit);
    // Waits until nothing is waiting to be sent, being sent or being played.
    bool WaitIdle(std::chrono::milliseconds limit);
    // Why the socket could not be opened; empty when it is open.
    QString SocketError() const { return m_socket.openError(); }

    // Interval of an animation step, as the cards' and the preview's.
    static constexpr int kStepMs = 50;

private:
    struct Screen {
        ScreenOutputs outputs;
        QSize size{256, 32};
        // The frame waiting to be put on show by the thread.
        std::optional<QImage> pending;
        FrameEffect pendingEffect;
        // The frame in play.
        QImage picture; // upright
        FrameEffect effect;
        QImage canvas;
        int step = 0;
        std::optional<std::chrono::steady_clock::time_point> due;
        int sequence = 0;
        DdpReport report;
    };

    void Run();
    // Under m_mutex: starts the pending frame, or makes the due step's
    // picture. nullopt when there is nothing to send.
    std::optional<QImage> NextPictureLocked(ScreenId screen,
                                            std::chrono::steady_clock::time_point now);
    Screen& screenLocked(ScreenId screen) {
        return m_screens[static_cast<std::size_t>(ScreenIndex(screen))];
    }
    const Screen& screenLocked(ScreenId screen) const {
        return m_screens[static_cast<std::size_t>(ScreenIndex(screen))];
    }

    DdpSocket m_socket; // used by the thread only
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_sent;
    std::array<Screen, 3> m_screens;
    bool m_stop = false;
    bool m_sending = false; // the thread is between taking a picture and counting it
    std::thread m_thread;
};
