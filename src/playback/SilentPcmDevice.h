#pragma once

#include "AudioClock.h"
#include "PcmDevice.h"

#include <memory>

// The output of a machine without sound: nothing is heard, but frames are
// consumed at 44100 per second of the clock, so positions advance in real
// time and tracks end. It has no thread of its own: it catches up with the
// clock whenever the engine services it. Called on the user-interface thread.
class SilentPcmDevice : public PcmDevice {
public:
    explicit SilentPcmDevice(std::shared_ptr<AudioClock> clock);

    bool Start(PcmSource* source, qint64 baseFrame) override;
    void Stop() override;
    qint64 HeardFrames() const override { return m_heard; }
    void Flush() override {}
    void Service() override;
    bool Failed() const override { return false; }

private:
    std::shared_ptr<AudioClock> m_clock;
    PcmSource* m_source = nullptr;
    qint64 m_heard = 0;
    qint64 m_lastMicroseconds = 0;
    // Microseconds x 44100 not yet worth a whole frame.
    qint64 m_remainder = 0;
};
