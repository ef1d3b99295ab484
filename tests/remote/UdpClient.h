#pragma once

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>

// A show-control desk's end of OSC on loopback: sends from its own port and
// hears what comes back to it.
class UdpClient {
public:
    explicit UdpClient(std::uint32_t address = INADDR_LOOPBACK) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(address);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
        m_port = ntohs(local.sin_port);
    }
    ~UdpClient() { ::close(m_fd); }
    UdpClient(const UdpClient&) = delete;
    UdpClient& operator=(const UdpClient&) = delete;

    std::uint16_t port() const { return m_port; }

    void Send(std::uint16_t port, const QByteArray& bytes) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        ::sendto(m_fd, bytes.constData(), static_cast<std::size_t>(bytes.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    // The next datagram within `limit`, or nullopt.
    std::optional<QByteArray> Receive(std::chrono::milliseconds limit) const {
        pollfd fd{m_fd, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(limit.count())) <= 0) {
            return std::nullopt;
        }
        QByteArray buffer(65536, '\0');
        const ssize_t n = ::recv(m_fd, buffer.data(), static_cast<std::size_t>(buffer.size()), 0);
        if (n < 0) {
            return std::nullopt;
        }
        buffer.truncate(n);
        return buffer;
    }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};
