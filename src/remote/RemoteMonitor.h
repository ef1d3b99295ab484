#pragma once

#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

// Bad and refused input of the remotes, counted, and reported to the
// communication monitor at most once a second per kind (a flood of ten
// thousand packets makes one line a second, not ten thousand).
//
// Thread use: Note from any thread (the OSC thread, the web thread); the
// counts from any thread; the sink is called on the noting thread and must
// not block (LinkMonitor::AddLine does not).
class RemoteMonitor {
public:
    enum class Kind {
        OscOversized,
        OscMalformed,
        OscUnknownAddress,
        OscWrongArguments,
        OscClientNotAllowed,
        OscFlood,          // commands dropped while the station was still busy with earlier ones
        OscTooManyClients, // subscriptions or recent clients beyond the table's size
        HttpBadRequest,
        HttpTimeout,
        WebTooManyConnections,
        WebBadFrame,
        WebBadMessage,
        WebWrongPin,
        WebPinLocked, // too many wrong PINs from one address: locked out for a while
        WebFlood,     // too many messages from one connection
        Count_
    };
    static constexpr std::size_t kKinds = static_cast<std::size_t>(Kind::Count_);

    void SetSink(std::function<void(const QString&)> sink);
    // Counts one occurrence; `from` names the sender (an address) for the line.
    void Note(Kind kind, const QString& from = {});
    // Reports what was counted since the last line of each kind.
    void Flush();

    long long count(Kind kind) const;
    long long total() const;
    static QString KindText(Kind kind);

private:
    void Report(Kind kind, long long pending, const QString& from);

    std::array<std::atomic<long long>, kKinds> m_counts{};
    std::mutex m_mutex;
    std::function<void(const QString&)> m_sink;
    std::array<long long, kKinds> m_unreported{};
    std::array<QString, kKinds> m_lastFrom;
    std::array<std::chrono::steady_clock::time_point, kKinds> m_lastReport{};
};
