#pragma once

#include "LinkConfig.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <thread>
#include <vector>

// One UDP socket bound to one local IPv4 address and port, broadcast enabled,
// with its own receive thread. Destroying it stops the thread and closes the socket.
class UdpBinding {
public:
    // Called on this binding's receive thread for every datagram, whole (up to
    // 65535 bytes), with the sender's address and port.
    using Handler = std::function<void(std::span<const std::uint8_t> datagram, Ipv4Address from,
                                       std::uint16_t fromPort)>;

    // Binds and starts the receive thread; nullptr and an error text on failure.
    static std::unique_ptr<UdpBinding> Open(Ipv4Address local, std::uint16_t port, Handler handler,
                                            QString* error);
    ~UdpBinding();
    UdpBinding(const UdpBinding&) = delete;
    UdpBinding& operator=(const UdpBinding&) = delete;

    // Sends one datagram; false when the system refused it. Any thread.
    bool SendTo(Ipv4Address address, std::uint16_t port, std::span<const std::uint8_t> bytes);

    Ipv4Address localAddress() const { return m_local; }
    std::uint16_t localPort() const { return m_port; }

private:
    UdpBinding(int socket, int wake, Ipv4Address local, std::uint16_t port, Handler handler);
    void ReceiveLoop();

    int m_socket = -1;
    int m_wake = -1; // eventfd that ends the receive loop
    Ipv4Address m_local;
    std::uint16_t m_port = 0;
    Handler m_handler;
    std::thread m_thread;
};
