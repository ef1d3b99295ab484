#pragma once

// A DDP receiver for the tests, written from the protocol alone (it shares no
// code with the station's sender): it listens on a loopback port, gathers the
// data of each sequence number and keeps the frames that ended with PUSH.

#include <QByteArray>
#include <QImage>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct ReceivedPacket {
    std::uint8_t flags = 0;
    std::uint8_t sequence = 0;
    std::uint8_t type = 0;
    std::uint8_t destination = 0;
    std::uint32_t offset = 0;
    std::uint16_t length = 0;
    QByteArray data;
    bool push() const { return (flags & 0x01) != 0; }
};

struct ReceivedFrame {
    int sequence = 0;
    std::vector<ReceivedPacket> packets; // as they came
    QByteArray pixels;                   // gathered by offset
    bool complete = false;               // every byte up to the PUSH packet's end came
};

class TestDdpReceiver {
public:
    TestDdpReceiver() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int bytes = 8 * 1024 * 1024;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        m_ok = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        socklen_t size = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~TestDdpReceiver() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    bool ok() const { return m_ok; }
    int port() const { return m_port; }

    // Frames that ended with PUSH, in arrival order.
    std::vector<ReceivedFrame> Frames() const {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }
    bool WaitFrames(std::size_t count, std::chrono::milliseconds limit) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_frames.size() >= count; });
    }
    // Datagrams that were not DDP (too short or the wrong version).
    int Malformed() const {
        std::lock_guard lock(m_mutex);
        return m_malformed;
    }

    // The frame's pixels as a picture of the given size, read row by row.
    static QImage Picture(const ReceivedFrame& frame, int width, int height) {
        QImage picture(width, height, QImage::Format_RGB888);
        picture.fill(Qt::magenta);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.pixels.constData());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const qsizetype at = 3 * (static_cast<qsizetype>(y) * width + x);
                if (at + 2 < frame.pixels.size()) {
                    picture.setPixelColor(x, y, QColor(bytes[at], bytes[at + 1], bytes[at + 2]));
                }
            }
        }
        return picture;
    }

private:
    void Run() {
        std::vector<char> buffer(65536);
        ReceivedFrame current;
        while (!m_stop) {
            pollfd poller{m_fd, POLLIN, 0};
            if (::poll(&poller, 1, 20) <= 0) {
                continue;
            }
            const ssize_t got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (got < 10 || (static_cast<std::uint8_t>(buffer[0]) & 0xC0) != 0x40) {
                std::lock_guard lock(m_mutex);
                ++m_malformed;
                continue;
            }
            const auto* head = reinterpret_cast<const std::uint8_t*>(buffer.data());
            ReceivedPacket packet;
            packet.flags = head[0];
            packet.sequence = head[1] & 0x0F;
            packet.type = head[2];
            packet.destination = head[3];
            packet.offset = (std::uint32_t(head[4]) << 24) | (std::uint32_t(head[5]) << 16) |
                            (std::uint32_t(head[6]) << 8) | std::uint32_t(head[7]);
            packet.length = static_cast<std::uint16_t>((head[8] << 8) | head[9]);
            packet.data = QByteArray(buffer.data() + 10, static_cast<qsizetype>(got - 10));
            if (packet.data.size() != packet.length) {
                std::lock_guard lock(m_mutex);
                ++m_malformed;
                continue;
            }
            if (!current.packets.empty() && current.sequence != packet.sequence) {
                // A frame whose PUSH never came: dropped by the system.
                current = ReceivedFrame();
            }
            current.sequence = packet.sequence;
            const qsizetype end = packet.offset + packet.length;
            if (current.pixels.size() < end) {
                current.pixels.resize(end, '\0');
            }
            std::copy(packet.data.begin(), packet.data.end(),
                      current.pixels.begin() + packet.offset);
            current.packets.push_back(packet);
            if (packet.push()) {
                qsizetype covered = 0;
                for (const ReceivedPacket& p : current.packets) {
                    covered += p.length;
                }
                current.complete = covered == end;
                {
                    std::lock_guard lock(m_mutex);
                    m_frames.push_back(std::move(current));
                }
                m_changed.notify_all();
                current = ReceivedFrame();
            }
        }
    }

    int m_fd = -1;
    bool m_ok = false;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<ReceivedFrame> m_frames;
    int m_malformed = 0;
    std::thread m_thread;
};
