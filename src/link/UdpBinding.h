#pragma once

#include "LinkConfig.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <thread>
#include <vector>

// One UDP socket with its own receive thread. Destroying it stops the thread
// and closes the socket.
//
// Two kinds exist. A binding (Open) is bound to one local IPv4 address and
// port, broadcast enabled: it sends, and it receives what is addressed to that
// address. A broadcast receiver (OpenBroadcastReceiver) is bound to
// 255.255.255.255 and the port: it only receives, and it hears exactly the
// datagrams sent to the limited broadcast address on any interface, which a
// socket bound to one address never sees on Linux. It reports the interface
// each datagram came in on, so its owner can keep only the interfaces it uses.
class UdpBinding {
public:
    // Called on this binding's receive thread for every datagram, whole (up to
    // 65535 bytes), with the sender's address and port.
    using Handler = std::function<void(std::span<const std::uint8_t> datagram, Ipv4Address from,
                                       std::uint16_t fromPort)>;
    // The same, with the index of the interface the datagram arrived on.
    using InterfaceHandler =
        std::function<void(std::span<const std::uint8_t> datagram, Ipv4Address from,
                           std::uint16_t fromPort, int interfaceIndex)>;

    // Binds and starts the receive thread; nullptr and an error text on failure.
    static std::unique_ptr<UdpBinding> Open(Ipv4Address local, std::uint16_t port, Handler handler,
                                            QString* error);
    // A receive-only socket on 255.255.255.255:port; nullptr and an error text
    // on failure.
    static std::unique_ptr<UdpBinding>
    OpenBroadcastReceiver(std::uint16_t port, InterfaceHandler handler, QString* error);
    ~UdpBinding();
    UdpBinding(const UdpBinding&) = delete;
    UdpBinding& operator=(const UdpBinding&) = delete;

    // Sends one datagram; false when the system refused it (the error number
    // in *error when given). Any thread.
    bool SendTo(Ipv4Address address, std::uint16_t port, std::span<const std::uint8_t> bytes,
                int* error = nullptr);

    Ipv4Address localAddress() const { return m_local; }
    std::uint16_t localPort() const { return m_port; }

private:
    UdpBinding(int socket, int wake, Ipv4Address local, std::uint16_t port,
               InterfaceHandler handler);
    static std::unique_ptr<UdpBinding> OpenSocket(Ipv4Address local, std::uint16_t port,
                                                  InterfaceHandler handler, QString* error);
    void ReceiveLoop();

    int m_socket = -1;
    int m_wake = -1; // eventfd that ends the receive loop
    Ipv4Address m_local;
    std::uint16_t m_port = 0;
    InterfaceHandler m_handler;
    std::thread m_thread;
};
