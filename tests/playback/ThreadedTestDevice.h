#pragma once

#include "playback/AudioEngine.h"
#include "playback/PcmDevice.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// A sound card simulated on a thread of its own: a queue of capacity frames
// that drains at speed x 44100 frames per second of real time and that the
// thread tops up from the engine every millisecond, as the Qt output does.
class ThreadedTestDevice : public PcmDevice {
public:
    ThreadedTestDevice(qint64 capacityFrames, double speed)
        : m_capacity(capacityFrames), m_speed(speed),
          m_buffer(static_cast<size_t>(capacityFrames) * 2) {}
    ~ThreadedTestDevice() override { Stop(); }

    bool Start(PcmSource* source, qint64 baseFrame) override {
        m_source = source;
        m_received = baseFrame;
        m_heard.store(baseFrame);
        m_running.store(true);
        m_thread = std::thread([this] { Run(); });
        return true;
    }
    void Stop() override {
        if (m_thread.joinable()) {
            m_running.store(false);
            m_thread.join();
        }
    }
    qint64 HeardFrames() const override { return m_heard.load(); }
    void Flush() override {
        std::lock_guard lock(m_mutex);
        m_queued = 0;
        m_heard.store(m_received);
        ++m_flushes;
    }
    bool Failed() const override { return m_failed.load(); }

    void Fail() { m_failed.store(true); }
    // Frames with a non-zero sample among all pulled (the decoder really ran).
    qint64 AudibleFrames() const {
        std::lock_guard lock(m_mutex);
        return m_audible;
    }
    int Flushes() const {
        std::lock_guard lock(m_mutex);
        return m_flushes;
    }

private:
    void Run() {
        auto last = std::chrono::steady_clock::now();
        double carry = 0.0;
        while (m_running.load()) {
            {
                std::lock_guard lock(m_mutex);
                const auto now = std::chrono::steady_clock::now();
                carry += std::chrono::duration<double>(now - last).count() * kSampleRate * m_speed;
                last = now;
                const qint64 played = std::min(static_cast<qint64>(carry), m_queued);
                carry -= static_cast<double>(static_cast<qint64>(carry));
                m_queued -= played;
                if (!m_failed.load()) {
                    const qint64 pulled = m_source->Pull(m_buffer.data(), m_capacity - m_queued);
                    for (qint64 i = 0; i < pulled; ++i) {
                        if (m_buffer[static_cast<size_t>(i) * 2] != 0) {
                            ++m_audible;
                        }
                    }
                    m_received += pulled;
                    m_queued += pulled;
                }
                m_heard.store(m_received - m_queued);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    const qint64 m_capacity;
    const double m_speed;
    PcmSource* m_source = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_failed{false};
    std::atomic<qint64> m_heard{0};

    mutable std::mutex m_mutex; // held while pulling, as a real device thread does
    std::vector<qint16> m_buffer;
    qint64 m_received = 0;
    qint64 m_queued = 0;
    qint64 m_audible = 0;
    int m_flushes = 0;
};
