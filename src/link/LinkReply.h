#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

// The replies one screen's senders are waiting for, shared between the senders
// (worker or user-interface thread) and the screen's listener threads. Two
// kinds of expectation live side by side:
//
// - The exchange: one awaited code (and expected sequence byte), armed before
//   each send of a one-at-a-time exchange. Replies without a sequence byte
//   (connect, disconnect, mode switches, assignment, parameter load) can only
//   be told apart by their code, so at most one such exchange is open per
//   screen; the listener judges every datagram against the expectation of that
//   moment, so a late reply to an earlier command only counts if it is what is
//   awaited now.
// - The table of outstanding sequence bytes: commands that carry a sequence
//   byte (WriteData, SwapBuffer) and are outstanding at the same time, one per
//   card of the screen. An acknowledgement completes the entry whose byte and
//   code it carries, and nothing else; one that matches no outstanding entry is
//   ignored. A byte is claimed before its datagram leaves and released by the
//   sender when the command is done with; a released byte whose command went
//   out more than once (or was never answered) may still draw late answers, so
//   it stays quiet for a while: it is not claimed again on this screen, and its
//   late answers find no entry.
//
// A datagram completes at most one expectation: the waiting exchange first,
// then the table.
class LinkReply {
public:
    using Clock = std::chrono::steady_clock;

    // Sets the awaited code and expected sequence byte and clears arrived.
    // Called by the sender before every send (a retry re-arms with the same values).
    void Arm(int awaited, std::optional<std::uint8_t> expectedSeq = std::nullopt);
    // Waits until arrived or the time limit; returns whether the reply arrived.
    // Called by the sender.
    bool WaitArrived(std::chrono::milliseconds limit);

    // Claims `seq` for a reply to `awaited` (codes 3 and 4). Refused while the
    // byte is outstanding (or answered and not yet released) on this screen, or
    // awaited by the exchange, or quiet; `evenIfQuiet` lifts the last rule only.
    bool Claim(std::uint8_t seq, int awaited, bool evenIfQuiet = false);
    // Ends the entry of `seq`, answered or not; the byte stays quiet until
    // `quietUntil` (a time already passed: free at once).
    void Release(std::uint8_t seq, Clock::time_point quietUntil);
    // Waits until an outstanding entry is answered, or (with `watchArrived`)
    // the exchange's reply has arrived, or `until`. Appends the bytes answered
    // since the last call to `answered` (each once; their entries stay claimed
    // until released) and returns whether the exchange's reply has arrived.
    bool WaitReplies(Clock::time_point until, bool watchArrived,
                     std::vector<std::uint8_t>& answered);
    // Entries claimed and not yet released.
    int outstanding() const;

    // Judges one datagram (reply codes only; card information is the listener's
    // business). Sets arrived, or marks a table entry answered, and wakes the
    // sender on a match; returns whether it matched. Called on a listener thread.
    bool Offer(std::span<const std::uint8_t> datagram);

    int awaited() const;
    int expectedSeq() const;
    bool arrived() const;
    // Datagrams that matched since construction (counted before the sender wakes).
    long long matches() const;

private:
    enum class EntryState : std::uint8_t { Free, Outstanding, Answered };
    struct Entry {
        EntryState state = EntryState::Free;
        int awaited = 0;
        Clock::time_point quietUntil{};
    };
    bool ExchangeAwaitsLocked(std::uint8_t seq) const;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_awaited = 254;
    int m_expectedSeq = 0;
    bool m_arrived = false;
    long long m_matches = 0;
    std::array<Entry, 256> m_entries{};   // indexed by sequence byte
    std::vector<std::uint8_t> m_answered; // answered since the sender last looked
    int m_outstanding = 0;
};
