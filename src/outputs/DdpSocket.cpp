#include "DdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

DdpSocket::DdpSocket() {
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        m_openError = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    // A large frame is a burst of datagrams; room for one whole frame keeps
    // the sending thread from stalling on every packet. The system caps it.
    const int bytes = 4 * 1024 * 1024;
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

DdpSocket::~DdpSocket() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

int DdpSocket::Send(const std::vector<QByteArray>& packets,
                    const std::vector<DdpReceiver>& receivers, QString* error) {
    if (m_fd < 0) {
        if (error != nullptr && error->isEmpty()) {
            *error = m_openError;
        }
        return static_cast<int>(packets.size() * receivers.size());
    }
    int refused = 0;
    for (const DdpReceiver& receiver : receivers) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(receiver.port));
        to.sin_addr.s_addr = htonl(receiver.address);
        for (const QByteArray& packet : packets) {
            ssize_t sent = -1;
            do {
                sent = ::sendto(m_fd, packet.constData(), static_cast<std::size_t>(packet.size()),
                                0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            } while (sent < 0 && errno == EINTR);
            if (sent < 0) {
                if (refused == 0 && error != nullptr && error->isEmpty()) {
                    *error = receiver.toString() + QStringLiteral(": ") +
                             QString::fromLocal8Bit(std::strerror(errno));
                }
                ++refused;
            }
        }
    }
    return refused;
}
