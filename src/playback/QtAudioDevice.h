#pragma once

#include "PcmDevice.h"

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

class QtAudioDeviceWorker;

// The default sound card through Qt Multimedia's QAudioSink, fed from a
// thread of its own every few milliseconds so that playing never waits for
// the user-interface thread.
//
// The thread is a plain std::thread running a Qt event loop, and requests
// reach it through a mutex-guarded slot that it polls on each feed, not
// through Qt's event queue: every hand-over between the threads is then one
// the thread sanitizer can follow.
class QtAudioDevice : public PcmDevice {
public:
    QtAudioDevice() = default;
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

    enum class Request { None, Flush, Close };

    // Asks the device's thread to carry out the request and waits until it
    // has. Called on the user-interface thread.
    void Ask(Request request);
    // The request waiting for the device's thread, if any. Called there.
    Request TakeRequest();
    void RequestDone();

    std::thread m_thread;
    std::atomic<qint64> m_heard{0};
    std::atomic<bool> m_failed{false};

    std::mutex m_requestMutex;
    Request m_request = Request::None; // guarded by m_requestMutex
    std::promise<void> m_requestDone;  // guarded by m_requestMutex
};
