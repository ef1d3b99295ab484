#pragma once

#include <QtGlobal>

#include <atomic>

// The time base of the silent output. The product uses the steady clock;
// tests step a manual clock so that playing a long track takes no time.
class AudioClock {
public:
    virtual ~AudioClock() = default;
    // Monotonic microseconds. Called on any thread.
    virtual qint64 NowMicroseconds() const = 0;
};

class SteadyAudioClock : public AudioClock {
public:
    qint64 NowMicroseconds() const override;
};

class ManualAudioClock : public AudioClock {
public:
    qint64 NowMicroseconds() const override { return m_now.load(); }
    void AdvanceMilliseconds(qint64 ms) { m_now.fetch_add(ms * 1000); }
    void AdvanceMicroseconds(qint64 us) { m_now.fetch_add(us); }

private:
    std::atomic<qint64> m_now{0};
};
