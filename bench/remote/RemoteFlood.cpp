// The remotes under attack while the operator works: a station connected to
// simulated cards on loopback, its OSC and web remotes on, measured for
//  1. OSC latency: a /subtitle/next datagram sent on loopback to the frame
//     handed to the worker (median and p99), which bounds the time from the
//     packet's arrival;
//  2. a flood of malformed OSC packets and of WebSocket connections sending
//     bad frames, while Enter steps the lines: Enter to the frame handed to
//     the worker (median, p99, max), what the remotes counted, and the
//     station's memory before, between and after two rounds of the flood.
//     The flood's own threads run at a low priority, as traffic from other
//     machines would cost this one nothing; the station's threads that
//     receive and judge it run as they always do.
//
//     remote_flood [--osc-packets N] [--web-connections N] [--seconds S]
//                  [--rounds N] [--latency-samples N]
//
// Each round sends N packets and opens N connections spread over S seconds
// (defaults 10 000, 1 000, 20 s, 3 rounds).
//
// Everything stays on 127.0.0.1.

#include "ConnectedShow.h"

#include "support/ProcessMemory.h"

#include "remote/RemoteMonitor.h"

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Forwards the renderer's frames to the worker and notes when the
// horizontal screen's frame was handed over.
class FrameProbe final : public FrameSink {
public:
    explicit FrameProbe(FrameSink& next) : m_next(next) {}
    void LoadScreenBitmap(ScreenId screen, const QImage& frame,
                          const FrameEffect& effect) override {
        m_next.LoadScreenBitmap(screen, frame, effect);
    }
    void RequestFrame(ScreenId screen) override {
        m_next.RequestFrame(screen);
        if (screen == ScreenId::h) {
            handedAt = Clock::now();
            ++handed;
        }
    }
    Clock::time_point handedAt;
    long long handed = 0;

private:
    FrameSink& m_next;
};

struct Figures {
    double median = 0, p99 = 0, max = 0;
    std::size_t over5 = 0; // presses that took longer than 5 ms
};

Figures Summary(std::vector<double> ms) {
    Figures f;
    if (ms.empty()) {
        return f;
    }
    std::sort(ms.begin(), ms.end());
    f.median = ms[ms.size() / 2];
    f.p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    f.max = ms.back();
    f.over5 = static_cast<std::size_t>(
        std::count_if(ms.begin(), ms.end(), [](double v) { return v > 5.0; }));
    return f;
}

// The flood stands for machines elsewhere on the show network: its own
// threads here yield to the station's (which still do all the receiving).
void BackSeat() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 15);
}

int UdpSocket() {
    return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

sockaddr_in Loopback(quint16 port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    return to;
}

QByteArray NextPacket() {
    // "/subtitle/next" padded, and its empty type tag.
    return QByteArray("/subtitle/next\0\0,\0\0\0", 20);
}

// Malformed and wrong OSC, in turn: garbage, cut packets, unknown addresses,
// wrong argument types, oversized datagrams, bundles.
void FloodOsc(quint16 port, int packets, std::chrono::milliseconds spread,
              std::atomic<long long>& sent) {
    BackSeat();
    const int fd = UdpSocket();
    const sockaddr_in to = Loopback(port);
    std::mt19937 random(7);
    const auto start = Clock::now();
    const QByteArray kinds[] = {
        QByteArray("/subtitle/go\0\0\0\0,s\0\0five\0\0\0\0", 28),
        QByteArray("/subtitle/launch\0\0\0\0,\0\0\0", 24),
        QByteArray("/subtitle/next\0\0,i", 18),
        QByteArray("#bundle\0\0\0\0\0\0\0\0\1", 16),
        QByteArray(4000, '/'),
    };
    for (int i = 0; i < packets; ++i) {
        QByteArray packet;
        if (i % 6 == 5) {
            packet.resize(1 + random() % 200);
            for (char& c : packet) {
                c = static_cast<char>(random());
            }
        } else {
            packet = kinds[i % 6 % 5];
        }
        ::sendto(fd, packet.constData(), std::size_t(packet.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
        ++sent;
        // In bursts of 50 spread over the round.
        if (i % 50 == 49) {
            std::this_thread::sleep_until(start + spread * (i + 1) / packets);
        }
    }
    ::close(fd);
}

bool ReadHead(int fd, QByteArray& head) {
    char buffer[1024];
    while (!head.contains("\r\n\r\n")) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) {
            return false;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return false;
        }
        head.append(buffer, n);
    }
    return true;
}

// Connections that upgrade to the remote's WebSocket and then break its
// rules: text that is not UTF-8, reserved opcodes, a frame that claims a terabyte,
// binary data, a close with garbage; and some that never send a valid head.
void FloodWebSockets(quint16 port, int connections, std::chrono::milliseconds spread,
                     std::atomic<long long>& upgraded, std::atomic<long long>& refused) {
    BackSeat();
    const auto start = Clock::now();
    const sockaddr_in to = Loopback(port);
    const QByteArray request = "GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                               "Connection: Upgrade\r\nSec-WebSocket-Key: "
                               "dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    const QByteArray frames[] = {
        QByteArray("\x81\x82\x00\x00\x00\x00\xc3\x28", 8), // text, not UTF-8
        QByteArray("\x83\x80\x01\x02\x03\x04", 6),         // reserved opcode
        QByteArray("\x81\xff\x00\x00\x01\x00\x00\x00\x00\x00\x01\x02\x03\x04", 14), // 1 TiB
        QByteArray("\x82\x82\x01\x02\x03\x04\x01\x02", 8),                          // binary
        QByteArray("\xf1\x80\x01\x02\x03\x04", 6),                                  // reserved bits
    };
    for (int i = 0; i < connections; ++i) {
        std::this_thread::sleep_until(start + spread * i / connections);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
            ::close(fd);
            ++refused;
            continue;
        }
        if (i % 10 == 9) {
            const QByteArray junk = "GARBAGE\r\n\r\n";
            ::send(fd, junk.constData(), std::size_t(junk.size()), MSG_NOSIGNAL);
        } else {
            ::send(fd, request.constData(), std::size_t(request.size()), MSG_NOSIGNAL);
            QByteArray head;
            if (ReadHead(fd, head) && head.startsWith("HTTP/1.1 101")) {
                ++upgraded;
                const QByteArray& frame = frames[i % 5];
                ::send(fd, frame.constData(), std::size_t(frame.size()), MSG_NOSIGNAL);
                // Until the station closes it.
                char sink[256];
                pollfd p{fd, POLLIN, 0};
                while (::poll(&p, 1, 3000) > 0 && ::recv(fd, sink, sizeof sink, 0) > 0) {
                }
            } else {
                ++refused;
            }
        }
        ::close(fd);
    }
}

struct Station : ConnectedShow {
    Station()
        : ConnectedShow(2, 4, 2000, [](StationOptions& options) {
              options.remote.oscPort = 0;
              options.remote.webPort = 0;
              options.remote.pin = QStringLiteral("2468");
          }) {
        probe = std::make_unique<FrameProbe>(window->worker());
        window->renderer().SetFrameSink(probe.get());
    }
    ~Station() { window->renderer().SetFrameSink(&window->worker()); }
    void Rewind() {
        if (window->player().selectedLine() + 2 >= list->model()->rowCount()) {
            list->setCurrentIndex(list->model()->index(0, 1));
        }
    }
    void WaitWorker() {
        const long long frames = window->worker().LastFrame(ScreenId::h).frames;
        window->worker().WaitFramesDone(ScreenId::h, frames, std::chrono::seconds(5));
    }

    std::unique_ptr<FrameProbe> probe;
};

// Enter pressed `count` times at an operator's pace; milliseconds from the key
// to the frame handed to the worker.
std::vector<double> StepWithEnter(Station& station, int count, const std::atomic<bool>* until) {
    std::vector<double> ms;
    for (int i = 0; i < count || (until != nullptr && !until->load()); ++i) {
        station.Rewind();
        const long long before = station.probe->handed;
        const auto start = Clock::now();
        QTest::keyClick(station.list, Qt::Key_Return);
        if (station.probe->handed != before) {
            ms.push_back(
                std::chrono::duration<double, std::milli>(station.probe->handedAt - start).count());
        }
        station.WaitWorker();
        QTest::qWait(5);
    }
    return ms;
}

int Arg(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::atoi(argv[i + 1]);
        }
    }
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QApplication app(argc, argv);
    const int oscPackets = Arg(argc, argv, "--osc-packets", 10000);
    const int webConnections = Arg(argc, argv, "--web-connections", 1000);
    const int samples = Arg(argc, argv, "--latency-samples", 300);
    const int rounds = std::max(2, Arg(argc, argv, "--rounds", 3));
    // Each round's flood is spread over this long, so the presses meet it throughout.
    const std::chrono::milliseconds spread(Arg(argc, argv, "--seconds", 20) * 1000);

    Station station;
    TMainForm& w = *station.window;
    const quint16 oscPort = w.remote().oscPort();
    const quint16 webPort = w.remote().webPort();
    std::printf("station on loopback: OSC port %u, web port %u\n", oscPort, webPort);

    // 1. OSC latency.
    {
        const int fd = UdpSocket();
        const sockaddr_in to = Loopback(oscPort);
        const QByteArray next = NextPacket();
        std::vector<double> ms;
        for (int i = 0; i < samples; ++i) {
            station.Rewind();
            const long long before = station.probe->handed;
            const auto sent = Clock::now();
            ::sendto(fd, next.constData(), std::size_t(next.size()), 0,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to);
            const auto limit = sent + std::chrono::seconds(5);
            while (station.probe->handed == before && Clock::now() < limit) {
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            }
            if (station.probe->handed != before) {
                ms.push_back(
                    std::chrono::duration<double, std::milli>(station.probe->handedAt - sent)
                        .count());
            }
            station.WaitWorker();
            QTest::qWait(5);
        }
        ::close(fd);
        const Figures f = Summary(ms);
        std::printf("OSC /subtitle/next sent -> frame handed to the worker (%zu of %d): "
                    "median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                    ms.size(), samples, f.median, f.p99, f.max);
    }

    // Enter alone, for comparison.
    const Figures quiet = Summary(StepWithEnter(station, 200, nullptr));
    std::printf("Enter -> frame handed, quiet: median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                quiet.median, quiet.p99, quiet.max);
    // The control: the same presses while busy threads of the same low
    // priority as the flood's take the cores, with no packet at all. What the
    // slowest presses cost here is the machine's, not the remotes'.
    {
        std::atomic<bool> stop{false};
        std::vector<std::thread> busy;
        for (int t = 0; t < 9; ++t) {
            busy.emplace_back([&stop] {
                BackSeat();
                volatile unsigned long spin = 0;
                while (!stop.load(std::memory_order_relaxed)) {
                    spin = spin + 1;
                }
            });
        }
        std::atomic<bool> done{false};
        std::thread timer([&done] {
            std::this_thread::sleep_for(std::chrono::seconds(30));
            done = true;
        });
        const std::vector<double> steps = StepWithEnter(station, 50, &done);
        timer.join();
        stop = true;
        for (std::thread& t : busy) {
            t.join();
        }
        const Figures f = Summary(steps);
        std::printf("Enter -> frame handed, 9 busy threads and no flood (%zu presses): median "
                    "%.3f ms, p99 %.3f ms, max %.3f ms, %zu over 5 ms\n",
                    steps.size(), f.median, f.p99, f.max, f.over5);
    }

    QTest::qWait(200);
    const long long rssStart = ResidentKiB();
    std::vector<long long> rssAfterRound;
    for (int round = 1; round <= rounds; ++round) {
        std::atomic<long long> oscSent{0};
        std::atomic<long long> upgraded{0};
        std::atomic<long long> refused{0};
        std::atomic<bool> done{false};
        const auto start = Clock::now();
        std::thread osc([&] { FloodOsc(oscPort, oscPackets, spread, oscSent); });
        std::vector<std::thread> web;
        for (int t = 0; t < 8; ++t) {
            web.emplace_back(
                [&] { FloodWebSockets(webPort, webConnections / 8, spread, upgraded, refused); });
        }
        std::thread watcher([&] {
            osc.join();
            for (std::thread& t : web) {
                t.join();
            }
            done = true;
        });
        const std::vector<double> steps = StepWithEnter(station, 50, &done);
        watcher.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        // Let the station finish closing what the flood left.
        (void)QTest::qWaitFor([&] { return w.remote().web().connections() == 0; }, 10000);
        QTest::qWait(500);
        const Figures f = Summary(steps);
        const RemoteMonitor& m = w.remote().monitor();
        using K = RemoteMonitor::Kind;
        std::printf("round %d (%.1f s): %lld OSC packets sent, %lld read by the server; "
                    "%lld WebSocket connections upgraded, %lld refused or closed before\n",
                    round, seconds, oscSent.load(), w.remote().osc().datagrams(), upgraded.load(),
                    refused.load());
        std::printf("  counted so far: OSC malformed %lld, unknown address %lld, wrong "
                    "arguments %lld, oversized %lld; web bad frames %lld, bad messages %lld, bad "
                    "requests %lld, too many connections %lld, timeouts %lld\n",
                    m.count(K::OscMalformed), m.count(K::OscUnknownAddress),
                    m.count(K::OscWrongArguments), m.count(K::OscOversized),
                    m.count(K::WebBadFrame), m.count(K::WebBadMessage), m.count(K::HttpBadRequest),
                    m.count(K::WebTooManyConnections), m.count(K::HttpTimeout));
        std::printf("  Enter -> frame handed during the flood (%zu presses): median %.3f ms, "
                    "p99 %.3f ms, max %.3f ms, %zu over 5 ms\n",
                    steps.size(), f.median, f.p99, f.max, f.over5);
        std::printf("  open web connections afterwards: %d; resident memory %lld KiB\n",
                    w.remote().web().connections(), ResidentKiB());
        rssAfterRound.push_back(ResidentKiB());
    }
    std::printf("resident memory: before %lld KiB", rssStart);
    for (std::size_t i = 0; i < rssAfterRound.size(); ++i) {
        std::printf(", after round %zu %lld KiB", i + 1, rssAfterRound[i]);
    }
    std::printf("\n");
    // The station still answers its remotes.
    const long long before = station.probe->handed;
    const int fd = UdpSocket();
    const sockaddr_in to = Loopback(oscPort);
    const QByteArray next = NextPacket();
    ::sendto(fd, next.constData(), std::size_t(next.size()), 0,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(fd);
    const bool answered = QTest::qWaitFor([&] { return station.probe->handed != before; }, 5000);
    std::printf("after the flood a /subtitle/next still steps the line: %s\n",
                answered ? "yes" : "NO");
    return answered ? 0 : 1;
}
