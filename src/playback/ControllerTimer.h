#pragma once

#include <functional>

// A timer of the playback controller: the heartbeat, the line timer and the
// next-file timer. The station uses QTimer; tests fire the handler by hand,
// so no test ever waits for real time. Used on the user-interface thread.
class ControllerTimer {
public:
    virtual ~ControllerTimer() = default;
    virtual void SetHandler(std::function<void()> handler) = 0;
    // (Re)starts the timer with a new interval in milliseconds.
    virtual void Start(int intervalMs) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};
