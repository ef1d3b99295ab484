#include "OscServer.h"

#include "OscProtocol.h"
#include "RemoteMonitor.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

QString AddressText(const sockaddr_in& address) {
    return QHostAddress(ntohl(address.sin_addr.s_addr)).toString();
}

bool SameEndpoint(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

} // namespace

// What the OSC thread shares with the user-interface thread and the reply
// functions, which may outlive the server (a command still queued when the
// server stops): a wake-up descriptor, the answers waiting to go out and the
// latest state.
struct OscServer::Shared {
    Shared() : wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Shared() {
        if (wake >= 0) {
            ::close(wake);
        }
    }
    void Wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
    }

    struct Answer {
        std::size_t socket = 0;
        sockaddr_in to{};
        QByteArray bytes;
    };

    const int wake;
    std::atomic<bool> stopping{false};
    std::atomic<int> pending{0};
    std::mutex mutex;
    std::deque<Answer> answers;
    bool stateDirty = false;
    QByteArray state; // the latest /subtitle/state, serialised
};

struct OscServer::Client {
    std::size_t socket = 0;
    sockaddr_in address{};
    Clock::time_point seen;
};

OscServer::OscServer(RemoteMonitor& monitor) : m_monitor(monitor) {}

OscServer::~OscServer() {
    Stop();
}

QString OscServer::Start(const OscServerConfig& config, Submit submit) {
    Stop();
    m_shared = std::make_shared<Shared>();
    if (m_shared->wake < 0) {
        return QStringLiteral("无法创建 OSC 线程的唤醒描述符");
    }
    quint16 port = config.port;
    for (const QHostAddress& address : config.listen) {
        bool ok = false;
        const quint32 ipv4 = address.toIPv4Address(&ok);
        if (!ok) {
            Stop();
            return QStringLiteral("OSC 只能监听 IPv4 地址：") + address.toString();
        }
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(ipv4);
        local.sin_port = htons(port);
        if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            const QString why = QString::fromLocal8Bit(std::strerror(errno));
            if (fd >= 0) {
                ::close(fd);
            }
            Stop();
            return QStringLiteral("无法在 %1:%2 接收 OSC：%3")
                .arg(address.toString())
                .arg(port)
                .arg(why);
        }
        m_sockets.push_back(fd);
        if (port == 0) {
            socklen_t length = sizeof local;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
            port = ntohs(local.sin_port);
        }
    }
    if (m_sockets.empty()) {
        Stop();
        return QStringLiteral("没有可以接收 OSC 的地址");
    }
    m_port = port;
    m_allowed = config.allowed;
    m_submit = std::move(submit);
    m_datagrams = 0;
    m_commands = 0;
    m_thread = std::thread([this] { Run(); });
    return {};
}

void OscServer::Stop() {
    if (m_shared) {
        m_shared->stopping = true;
        m_shared->Wake();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    for (int fd : m_sockets) {
        ::close(fd);
    }
    m_sockets.clear();
    m_subscribers.clear();
    m_recentClients.clear();
    m_submit = nullptr;
    m_shared.reset();
    m_port = 0;
}

void OscServer::Publish(const RemoteShowState& state) {
    const std::shared_ptr<Shared> shared = m_shared;
    if (!shared) {
        return;
    }
    QByteArray bytes = OscStateMessage(state);
    {
        std::lock_guard lock(shared->mutex);
        // Moved, not shared: the two threads never hold one implicitly shared
        // buffer, whose reference count lives in Qt's uninstrumented code.
        shared->state = std::move(bytes);
        shared->stateDirty = true;
    }
    shared->Wake();
}

void OscServer::Run() {
    std::vector<pollfd> fds;
    fds.push_back({m_shared->wake, POLLIN, 0});
    for (int fd : m_sockets) {
        fds.push_back({fd, POLLIN, 0});
    }
    while (!m_shared->stopping) {
        // A second's timeout lets clients that went quiet age out.
        const int ready = ::poll(fds.data(), fds.size(), 1000);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_shared->wake, &count, sizeof count);
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents & POLLIN) {
                ReadSocket(i - 1);
            }
        }
        std::deque<Shared::Answer> answers;
        bool stateDirty = false;
        {
            std::lock_guard lock(m_shared->mutex);
            answers.swap(m_shared->answers);
            stateDirty = m_shared->stateDirty;
            m_shared->stateDirty = false;
        }
        for (const Shared::Answer& answer : answers) {
            SendTo(answer.socket, answer.to, answer.bytes);
        }
        const auto now = Clock::now();
        std::erase_if(m_recentClients, [now](const Client& c) {
            return now - c.seen > std::chrono::seconds(kRecentClientSeconds);
        });
        if (stateDirty) {
            SendState(true, nullptr);
        }
    }
}

void OscServer::ReadSocket(std::size_t index) {
    // A bounded batch per wake-up: the stop request and the answers are
    // looked at between batches even under a flood.
    std::uint8_t buffer[kMaxOscPacket + 1];
    for (int i = 0; i < 256; ++i) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_sockets[index], buffer, sizeof buffer, MSG_TRUNC,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            return;
        }
        ++m_datagrams;
        if (from.sin_family != AF_INET) {
            continue;
        }
        if (!m_allowed.empty()) {
            const QHostAddress sender(ntohl(from.sin_addr.s_addr));
            if (std::find(m_allowed.begin(), m_allowed.end(), sender) == m_allowed.end()) {
                m_monitor.Note(RemoteMonitor::Kind::OscClientNotAllowed, sender.toString());
                continue;
            }
        }
        // MSG_TRUNC gives the datagram's real length.
        Handle(index, buffer, static_cast<std::size_t>(n), from);
    }
}

void OscServer::Handle(std::size_t socket, const std::uint8_t* data, std::size_t size,
                       const sockaddr_in& from) {
    const OscParse parse = ParseOscPacket(data, size);
    if (parse.refusal != OscRefusal::None) {
        static constexpr std::pair<OscRefusal, RemoteMonitor::Kind> kKinds[] = {
            {OscRefusal::Oversized, RemoteMonitor::Kind::OscOversized},
            {OscRefusal::Malformed, RemoteMonitor::Kind::OscMalformed},
            {OscRefusal::Bundle, RemoteMonitor::Kind::OscMalformed},
            {OscRefusal::UnknownAddress, RemoteMonitor::Kind::OscUnknownAddress},
            {OscRefusal::WrongArguments, RemoteMonitor::Kind::OscWrongArguments},
        };
        for (const auto& [refusal, kind] : kKinds) {
            if (refusal == parse.refusal) {
                m_monitor.Note(kind, AddressText(from));
            }
        }
        return;
    }
    const OscRequest& request = *parse.request;
    if (request.kind == OscRequest::Kind::Ignored) {
        return;
    }
    if (request.kind == OscRequest::Kind::Subscribe) {
        sockaddr_in target = from;
        target.sin_port = htons(static_cast<quint16>(request.port));
        const auto same = [&target](const Client& c) { return SameEndpoint(c.address, target); };
        if (request.port == 0) {
            // Stops every subscription of that address.
            std::erase_if(m_subscribers, [&from](const Client& c) {
                return c.address.sin_addr.s_addr == from.sin_addr.s_addr;
            });
            return;
        }
        auto found = std::find_if(m_subscribers.begin(), m_subscribers.end(), same);
        if (found == m_subscribers.end()) {
            if (m_subscribers.size() >= kMaxSubscribers) {
                m_monitor.Note(RemoteMonitor::Kind::OscTooManyClients, AddressText(from));
                return;
            }
            m_subscribers.push_back(Client{socket, target, Clock::now()});
            found = m_subscribers.end() - 1;
        }
        found->socket = socket;
        found->seen = Clock::now();
        // A new subscriber learns where the show stands at once.
        SendState(false, &*found);
        return;
    }

    // A command: its sender hears the state for a minute from now on.
    const auto recent =
        std::find_if(m_recentClients.begin(), m_recentClients.end(),
                     [&from](const Client& c) { return SameEndpoint(c.address, from); });
    if (recent != m_recentClients.end()) {
        recent->seen = Clock::now();
        recent->socket = socket;
    } else if (m_recentClients.size() < kMaxRecentClients) {
        m_recentClients.push_back(Client{socket, from, Clock::now()});
    } else {
        m_monitor.Note(RemoteMonitor::Kind::OscTooManyClients, AddressText(from));
    }

    if (m_shared->pending.load() >= kMaxPendingCommands) {
        m_monitor.Note(RemoteMonitor::Kind::OscFlood, AddressText(from));
        return;
    }
    ++m_shared->pending;
    ++m_commands;
    const std::shared_ptr<Shared> shared = m_shared;
    const QString path = parse.path;
    m_submit(request.command, [shared, socket, from, path](const RemoteResult& result) {
        --shared->pending;
        if (result.ok) {
            return;
        }
        {
            std::lock_guard lock(shared->mutex);
            shared->answers.push_back({socket, from, OscRefusedMessage(path, result.reason)});
        }
        shared->Wake();
    });
}

void OscServer::SendState(bool toEveryone, const Client* only) {
    QByteArray bytes;
    {
        std::lock_guard lock(m_shared->mutex);
        // A deep copy, for the reason Publish moves its buffer in.
        bytes = QByteArray(m_shared->state.constData(), m_shared->state.size());
    }
    if (bytes.isEmpty()) {
        return;
    }
    if (!toEveryone) {
        SendTo(only->socket, only->address, bytes);
        return;
    }
    for (const Client& client : m_subscribers) {
        SendTo(client.socket, client.address, bytes);
    }
    for (const Client& client : m_recentClients) {
        // A client that also subscribed on the same port hears it once.
        const bool subscribed =
            std::any_of(m_subscribers.begin(), m_subscribers.end(), [&client](const Client& s) {
                return SameEndpoint(s.address, client.address);
            });
        if (!subscribed) {
            SendTo(client.socket, client.address, bytes);
        }
    }
}

void OscServer::SendTo(std::size_t socket, const sockaddr_in& to, const QByteArray& bytes) {
    if (socket >= m_sockets.size()) {
        return;
    }
    // Best effort: a client that has gone away must not hold up the others.
    [[maybe_unused]] const ssize_t n =
        ::sendto(m_sockets[socket], bytes.constData(), static_cast<std::size_t>(bytes.size()),
                 MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}
