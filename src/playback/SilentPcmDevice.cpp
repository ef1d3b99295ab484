#include "SilentPcmDevice.h"

#include "AudioEngine.h"

SilentPcmDevice::SilentPcmDevice(std::shared_ptr<AudioClock> clock) : m_clock(std::move(clock)) {}

bool SilentPcmDevice::Start(PcmSource* source, qint64 baseFrame) {
    m_source = source;
    m_heard = baseFrame;
    m_lastMicroseconds = m_clock->NowMicroseconds();
    m_remainder = 0;
    return true;
}

void SilentPcmDevice::Stop() {
    m_source = nullptr;
}

void SilentPcmDevice::Service() {
    if (m_source == nullptr) {
        return;
    }
    const qint64 now = m_clock->NowMicroseconds();
    const qint64 elapsed = now - m_lastMicroseconds;
    m_lastMicroseconds = now;
    if (elapsed <= 0) {
        return;
    }
    const qint64 scaled = elapsed * kSampleRate + m_remainder;
    const qint64 due = scaled / 1000000;
    m_remainder = scaled % 1000000;
    // Like a sound card that runs dry, time without frames to play is lost:
    // a paused stream does not make up for it when it resumes.
    m_heard += m_source->Pull(nullptr, due);
}
