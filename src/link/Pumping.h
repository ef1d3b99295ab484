#pragma once

#include "core/Operator.h"

#include <chrono>
#include <functional>
#include <future>

// The link's operator commands wait for cards that may never answer. The wait
// runs on a helper thread while the user-interface thread keeps running its
// events, so the window repaints; the command's steps stay in order.
inline constexpr std::chrono::milliseconds kPumpInterval{10};

// Lets window events run until `done` holds, looking every kPumpInterval.
inline void PumpUntil(OperatorInterface& op,
                      const std::function<bool(std::chrono::milliseconds)>& done) {
    while (!done(kPumpInterval)) {
        op.ProcessEvents();
    }
}

inline bool RunWhilePumping(OperatorInterface& op, const std::function<bool()>& work) {
    std::future<bool> done = std::async(std::launch::async, work);
    while (done.wait_for(kPumpInterval) != std::future_status::ready) {
        op.ProcessEvents();
    }
    return done.get();
}
