#pragma once

#include "link/LinkConfig.h"
#include "link/UdpBinding.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Polls a condition until it holds or the limit passes; for tests that must
// see something happen on another thread without a signal to wait on.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A raw UDP peer on 127.0.0.1 (a free port unless one is given) that records
// what it receives and can send anything, for datagrams no well-behaved card
// would send.
class RawPeer {
public:
    using Bytes = std::vector<std::uint8_t>;

    explicit RawPeer(std::uint16_t port = 0) {
        m_binding = UdpBinding::Open(
            kLoopback, port,
            [this](std::span<const std::uint8_t> datagram, Ipv4Address, std::uint16_t) {
                std::lock_guard lock(m_mutex);
                m_received.emplace_back(datagram.begin(), datagram.end());
            },
            &m_error);
    }
    bool ok() const { return m_binding != nullptr; }
    bool Send(std::uint16_t port, const Bytes& bytes) {
        return m_binding->SendTo(kLoopback, port, bytes);
    }
    std::vector<Bytes> Received() const {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    QString m_error;
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_received;
    std::unique_ptr<UdpBinding> m_binding;
};
