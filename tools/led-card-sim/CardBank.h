#pragma once

#include "SimCard.h"

#include "link/LinkConfig.h"
#include "link/ScreenLink.h"
#include "link/UdpBinding.h"

#include "core/IoStatus.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

struct BankOptions {
    Ipv4Address bindAddress = kLoopback;
    int portOffset = 0;
    // Without it the bank binds loopback addresses only, so a run on a machine
    // with a real network never answers or reaches anything on it.
    bool allowNonLoopback = false;
    // Answer to 255.255.255.255 at the sender's port instead of to the sender,
    // as cards without IP addressing may. Only with a non-loopback address:
    // such answers must never leave a network made for the purpose.
    bool answerBroadcast = false;
    unsigned seed = 1; // for dropped replies
};

// A bank of simulated controller cards on the three card ports (60001-60003 +
// offset) of one address. Each card listens on the port of its screen, answers
// datagrams addressed to its MAC (and every Search) to the sender's address and
// port (or by broadcast to that port), and moves to another port when assigned
// to another screen. On a non-loopback address the bank also hears the
// station's broadcasts (255.255.255.255) that arrive on that address's
// interface, as cards on a wire do.
//
// Thread use: the receive threads of the three ports and a delivery thread for
// delayed replies run the cards; every public function may be called from any
// thread (tests read a card's state while the station talks to it).
class CardBank {
public:
    explicit CardBank(BankOptions options);
    ~CardBank();
    CardBank(const CardBank&) = delete;
    CardBank& operator=(const CardBank&) = delete;

    // Before or after Start. A second card with the same MAC replaces the first.
    void AddCard(const SimCardSpec& setup);
    LinkStatus Start();
    void Stop();
    bool running() const;
    const BankOptions& options() const { return m_options; }

    std::vector<MacAddress> Macs() const;
    std::optional<CardState> Card(const MacAddress& mac) const;
    // The picture the card shows since its last SwapBuffer (null before the first).
    QImage Displayed(const MacAddress& mac) const;
    std::vector<std::uint8_t> Flash(const MacAddress& mac) const;
    // Copy of the card's display memory.
    std::vector<std::uint8_t> Memory(const MacAddress& mac) const;
    void SetFaults(const MacAddress& mac, const CardFaults& faults);

    // One readable line per datagram and card: what came, what the card did,
    // what went back. The latest kKeptLogLines lines.
    QStringList Log() const;
    static constexpr std::size_t kKeptLogLines = 100000;
    // How many of the latest lines Log() keeps (kKeptLogLines unless set);
    // a long soak keeps few, so its memory shows the station's own.
    void SetKeptLogLines(std::size_t lines);
    // Also hands every log line to `sink`, on the thread that produced it.
    void SetLogSink(std::function<void(const QString&)> sink);

    // Datagrams handled since Start; and a wait for a number of them (for
    // commands that get no answer, such as Brightness).
    long long DatagramsHandled() const;
    bool WaitForDatagrams(long long count, std::chrono::milliseconds limit) const;

    // Writes each card's displayed picture as <MAC>.png and its flash as
    // <MAC>.flash.bin into `directory` (created when missing).
    IoStatus SaveOutputs(const QString& directory) const;

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        int screenIndex = 0;
        Ipv4Address to;
        std::uint16_t port = 0;
        std::vector<std::uint8_t> bytes;
    };

    void OnDatagram(int screenIndex, std::span<const std::uint8_t> datagram, Ipv4Address from,
                    std::uint16_t fromPort);
    void Deliver(const SimCard& card, int screenIndex, Ipv4Address to, std::uint16_t port,
                 std::vector<std::vector<std::uint8_t>> replies, QString& note);
    void SendNow(int screenIndex, Ipv4Address to, std::uint16_t port,
                 const std::vector<std::uint8_t>& bytes);
    void DeliveryLoop();
    void AddLog(const QString& line);
    SimCard* Find(const MacAddress& mac);
    const SimCard* Find(const MacAddress& mac) const;

    const BankOptions m_options;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::unique_ptr<SimCard>> m_cards;
    std::array<std::unique_ptr<UdpBinding>, 3> m_bindings;
    std::array<std::unique_ptr<UdpBinding>, 3> m_broadcastReceivers;
    int m_interfaceIndex = 0; // of the bound address; set before the receivers start
    std::vector<Pending> m_pending;
    bool m_stopping = false;
    std::thread m_delivery;
    std::mt19937 m_random;
    // A standard container: Log() hands out a fresh list, so no Qt container is
    // shared with (and detached on) the receive threads. Only the latest lines
    // are kept; a long run writes the rest through the sink.
    std::deque<QString> m_log;
    std::size_t m_keptLogLines = kKeptLogLines;
    std::function<void(const QString&)> m_sink;
    long long m_handled = 0;
};
