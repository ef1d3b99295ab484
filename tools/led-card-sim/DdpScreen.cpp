#include "DdpScreen.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr int kHeader = 10;

} // namespace

DdpScreen::DdpScreen(Ipv4Address bind, int port, QSize size)
    : m_bind(bind), m_port(port), m_size(size.expandedTo(QSize(1, 1))),
      m_picture(m_size, QImage::Format_RGB888) {
    m_picture.fill(Qt::black);
}

DdpScreen::~DdpScreen() {
    Stop();
}

bool DdpScreen::Start(QString* error) {
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // A large wall's frame is hundreds of datagrams at once.
    const int bytes = 8 * 1024 * 1024;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(m_port));
    address.sin_addr.s_addr = htonl(m_bind.value);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        *error = QStringLiteral("DDP port %1: ").arg(m_port) +
                 QString::fromLocal8Bit(std::strerror(errno));
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
    return true;
}

void DdpScreen::Stop() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

QImage DdpScreen::Picture() const {
    std::lock_guard lock(m_mutex);
    return m_picture;
}

long long DdpScreen::Frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

void DdpScreen::Run() {
    const qsizetype frameBytes = qsizetype(m_size.width()) * m_size.height() * 3;
    std::vector<std::uint8_t> buffer(65536);
    std::vector<std::uint8_t> gathered(static_cast<std::size_t>(frameBytes), 0);
    long long received = 0;
    while (!m_stop) {
        pollfd poller{m_fd, POLLIN, 0};
        if (::poll(&poller, 1, 50) <= 0) {
            continue;
        }
        const ssize_t got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        // Version 1 only; queries and replies are not pixel data.
        if (got < kHeader || (buffer[0] & 0xC0) != 0x40 || (buffer[0] & 0x06) != 0) {
            continue;
        }
        const std::uint32_t offset = (std::uint32_t(buffer[4]) << 24) |
                                     (std::uint32_t(buffer[5]) << 16) |
                                     (std::uint32_t(buffer[6]) << 8) | std::uint32_t(buffer[7]);
        const qsizetype length = std::min<qsizetype>((buffer[8] << 8) | buffer[9], got - kHeader);
        if (offset < static_cast<std::uint64_t>(frameBytes)) {
            const qsizetype take = std::min<qsizetype>(length, frameBytes - offset);
            std::copy_n(buffer.begin() + kHeader, take, gathered.begin() + offset);
        }
        received += length;
        if ((buffer[0] & 0x01) == 0) {
            continue;
        }
        QImage picture(m_size, QImage::Format_RGB888);
        const int rowBytes = m_size.width() * 3;
        for (int y = 0; y < m_size.height(); ++y) {
            std::copy_n(gathered.begin() + qsizetype(y) * rowBytes, rowBytes, picture.scanLine(y));
        }
        long long frames = 0;
        {
            std::lock_guard lock(m_mutex);
            m_picture = picture;
            frames = ++m_frames;
        }
        if (m_log) {
            m_log(QStringLiteral("DDP :%1 frame %2 sequence %3 bytes %4")
                      .arg(m_port)
                      .arg(frames)
                      .arg(buffer[1] & 0x0F)
                      .arg(received));
        }
        // Like a player's buffer, what the next frame does not send stays.
        received = 0;
    }
}
