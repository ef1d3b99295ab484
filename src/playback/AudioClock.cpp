#include "AudioClock.h"

#include <chrono>

qint64 SteadyAudioClock::NowMicroseconds() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
