#include "UdpBinding.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

sockaddr_in SocketAddress(Ipv4Address address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address.value);
    return sa;
}

QString SystemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

std::unique_ptr<UdpBinding> UdpBinding::Open(Ipv4Address local, std::uint16_t port, Handler handler,
                                             QString* error) {
    return OpenSocket(
        local, port,
        [handler = std::move(handler)](std::span<const std::uint8_t> datagram, Ipv4Address from,
                                       std::uint16_t fromPort, int /*interfaceIndex*/) {
            handler(datagram, from, fromPort);
        },
        error);
}

std::unique_ptr<UdpBinding>
UdpBinding::OpenBroadcastReceiver(std::uint16_t port, InterfaceHandler handler, QString* error) {
    // Bound to the limited broadcast address itself, it takes nothing away from
    // the per-address bindings on the same port (no address overlaps, so no
    // SO_REUSEADDR and no datagram is delivered to both).
    return OpenSocket(kBroadcast, port, std::move(handler), error);
}

std::unique_ptr<UdpBinding> UdpBinding::OpenSocket(Ipv4Address local, std::uint16_t port,
                                                   InterfaceHandler handler, QString* error) {
    auto fail = [&](const QString& what, int code, int fd, int wake) {
        if (error != nullptr) {
            *error = QStringLiteral("%1 %2:%3: %4")
                         .arg(what, local.toString())
                         .arg(port)
                         .arg(SystemError(code));
        }
        if (fd >= 0) {
            ::close(fd);
        }
        if (wake >= 0) {
            ::close(wake);
        }
        return std::unique_ptr<UdpBinding>();
    };
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return fail(QStringLiteral("cannot open a socket for"), errno, -1, -1);
    }
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        return fail(QStringLiteral("cannot enable broadcast on"), errno, fd, -1);
    }
    // Tells the receive loop on which interface each datagram arrived.
    if (::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        return fail(QStringLiteral("cannot ask for the arrival interface on"), errno, fd, -1);
    }
    const sockaddr_in sa = SocketAddress(local, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        return fail(QStringLiteral("cannot bind"), errno, fd, -1);
    }
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        return fail(QStringLiteral("cannot create the wake-up event for"), errno, fd, -1);
    }
    return std::unique_ptr<UdpBinding>(new UdpBinding(fd, wake, local, port, std::move(handler)));
}

UdpBinding::UdpBinding(int socket, int wake, Ipv4Address local, std::uint16_t port,
                       InterfaceHandler handler)
    : m_socket(socket), m_wake(wake), m_local(local), m_port(port), m_handler(std::move(handler)) {
    m_thread = std::thread([this] { ReceiveLoop(); });
}

UdpBinding::~UdpBinding() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    ::close(m_socket);
    ::close(m_wake);
}

bool UdpBinding::SendTo(Ipv4Address address, std::uint16_t port,
                        std::span<const std::uint8_t> bytes, int* error) {
    const sockaddr_in sa = SocketAddress(address, port);
    const ssize_t sent = ::sendto(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (sent == static_cast<ssize_t>(bytes.size())) {
        return true;
    }
    if (error != nullptr) {
        *error = sent < 0 ? errno : EMSGSIZE;
    }
    return false;
}

void UdpBinding::ReceiveLoop() {
    // Large enough for any UDP datagram, so nothing arrives cut.
    std::vector<std::uint8_t> buffer(65536);
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[0].revents & (POLLIN | POLLERR)) == 0) {
            continue;
        }
        sockaddr_in from{};
        iovec data{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t received = ::recvmsg(m_socket, &message, MSG_DONTWAIT);
        if (received < 0) {
            // ICMP errors from earlier sends surface here (ECONNREFUSED); they say
            // nothing about the next datagram.
            continue;
        }
        int interfaceIndex = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                interfaceIndex = info.ipi_ifindex;
            }
        }
        m_handler(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)),
                  Ipv4Address{ntohl(from.sin_addr.s_addr)}, ntohs(from.sin_port), interfaceIndex);
    }
}
