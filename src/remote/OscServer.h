#pragma once

#include "remote/RemoteCommand.h"

#include <QHostAddress>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class RemoteMonitor;

struct OscServerConfig {
    std::vector<QHostAddress> listen; // IPv4 addresses, one socket each
    quint16 port = 0;                 // 0: a free port, the same on every address
    // Empty: any sender. Otherwise only these addresses are heard.
    std::vector<QHostAddress> allowed;
};

// The OSC server: one UDP socket per listen address, read on a thread of its
// own so that no packet, however many or however bad, is decoded on the
// user-interface thread. Accepted commands go to `submit` (on this thread),
// which hands them on to the user-interface thread and answers through the
// reply function it is given, from any thread.
//
// State feedback: /subtitle/state goes to every subscriber and to every
// client that sent a command in the last minute, whenever Publish is called.
// A refused command is answered with /subtitle/refused to its sender; bad
// packets get no answer (an answer would let a forged sender address aim
// the station's replies at someone else) and are counted in the monitor.
//
// Start, Stop, Publish and the destructor on the thread that owns the server
// (the user-interface thread); the reply functions from any thread, also after
// the server stopped.
class OscServer {
public:
    using Reply = std::function<void(const RemoteResult&)>;
    using Submit = std::function<void(const RemoteCommand&, Reply)>;

    // Commands handed on and not yet answered; beyond this many, new ones are
    // dropped (and counted) until the station catches up.
    static constexpr int kMaxPendingCommands = 16;
    static constexpr std::size_t kMaxSubscribers = 32;
    static constexpr std::size_t kMaxRecentClients = 64;
    static constexpr int kRecentClientSeconds = 60;

    explicit OscServer(RemoteMonitor& monitor);
    ~OscServer();
    OscServer(const OscServer&) = delete;
    OscServer& operator=(const OscServer&) = delete;

    // Binds every address and starts the thread; an error text (naming the
    // address) when a socket could not be bound, and then nothing runs.
    QString Start(const OscServerConfig& config, Submit submit);
    void Stop();
    bool running() const { return m_thread.joinable(); }
    quint16 port() const { return m_port; }

    void Publish(const RemoteShowState& state);

    // Datagrams read and commands handed on since Start.
    long long datagrams() const { return m_datagrams.load(); }
    long long commands() const { return m_commands.load(); }

private:
    struct Shared;
    struct Client;
    void Run();
    void ReadSocket(std::size_t index);
    void Handle(std::size_t socket, const std::uint8_t* data, std::size_t size,
                const struct sockaddr_in& from);
    void SendState(bool toEveryone, const Client* only);
    void SendTo(std::size_t socket, const struct sockaddr_in& to, const QByteArray& bytes);

    RemoteMonitor& m_monitor;
    std::shared_ptr<Shared> m_shared;
    std::vector<int> m_sockets;
    std::vector<QHostAddress> m_allowed;
    quint16 m_port = 0;
    Submit m_submit;
    std::thread m_thread;
    std::vector<Client> m_subscribers;   // OSC thread only
    std::vector<Client> m_recentClients; // OSC thread only
    std::atomic<long long> m_datagrams{0};
    std::atomic<long long> m_commands{0};
};
