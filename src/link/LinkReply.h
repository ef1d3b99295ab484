#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

// The reply one screen's sender is waiting for, shared between that sender
// (worker or user-interface thread) and the screen's listener threads. The
// sender arms it before the datagram leaves; the listener judges every datagram
// against the expectation of that moment, so a late reply to an earlier command
// only counts if it is what is awaited now.
class LinkReply {
public:
    // Sets the awaited code and expected sequence byte and clears arrived.
    // Called by the sender before every send (a retry re-arms with the same values).
    void Arm(int awaited, std::optional<std::uint8_t> expectedSeq = std::nullopt);
    // Waits until arrived or the time limit; returns whether the reply arrived.
    // Called by the sender.
    bool WaitArrived(std::chrono::milliseconds limit);

    // Judges one datagram (reply codes only; card information is the listener's
    // business). Sets arrived and wakes the sender on a match; returns whether
    // it matched. Called on a listener thread.
    bool Offer(std::span<const std::uint8_t> datagram);

    int awaited() const;
    int expectedSeq() const;
    bool arrived() const;
    // Datagrams that matched since construction (counted before the sender wakes).
    long long matches() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_awaited = 254;
    int m_expectedSeq = 0;
    bool m_arrived = false;
    long long m_matches = 0;
};
