#pragma once

#include "PcmDevice.h"

#include <QThread>

#include <atomic>
#include <memory>

class QtAudioDeviceWorker;

// The default sound card through Qt Multimedia's QAudioSink, fed from a
// thread of its own every few milliseconds so that playing never waits for
// the user-interface thread.
class QtAudioDevice : public PcmDevice {
public:
    QtAudioDevice();
    ~QtAudioDevice() override;
    QtAudioDevice(const QtAudioDevice&) = delete;
    QtAudioDevice& operator=(const QtAudioDevice&) = delete;

    // False when there is no default output device or it refuses the format.
    bool Start(PcmSource* source, qint64 baseFrame) override;
    void Stop() override;
    qint64 HeardFrames() const override;
    void Flush() override;
    bool Failed() const override;

private:
    friend class QtAudioDeviceWorker;

    QThread m_thread;
    QtAudioDeviceWorker* m_worker = nullptr; // lives on m_thread
    std::atomic<qint64> m_heard{0};
    std::atomic<bool> m_failed{false};
};
