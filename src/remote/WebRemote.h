#pragma once

#include "remote/RemoteCommand.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QThread;
class RemoteMonitor;
class WebRemoteServer;

struct WebServerConfig {
    std::vector<QHostAddress> listen;
    quint16 port = 0; // 0: a free port, the same on every address
    QString pin;
};

// The web remote: the page (its own files, compiled in) over a small HTTP
// handler and the remote's WebSocket on the same port, served on a thread of
// its own so that no connection, however many or however bad, is handled on
// the user-interface thread.
//
// Limits: kMaxConnections TCP connections at once (page requests and sockets
// together; more are closed at once), one request per page connection, a
// request head of 8 KiB read within 5 s, WebSocket frames and messages of
// 8 KiB, 20 messages a second per socket, a PIN within 20 s, three wrong PINs
// per socket and five a minute per address. Whatever breaks a limit is closed
// and counted in the monitor.
//
// Start, Stop, Publish and the destructor on the thread that owns the remote
// (the user-interface thread); `submit` is called on the server's thread and
// its reply function may be called from any thread, also after Stop.
class WebRemote {
public:
    using Reply = std::function<void(const RemoteResult&)>;
    using Submit = std::function<void(const RemoteCommand&, Reply)>;

    static constexpr int kMaxConnections = 64;

    explicit WebRemote(RemoteMonitor& monitor);
    ~WebRemote();
    WebRemote(const WebRemote&) = delete;
    WebRemote& operator=(const WebRemote&) = delete;

    // An error text naming the address when a port could not be opened; then
    // nothing runs.
    QString Start(const WebServerConfig& config, Submit submit);
    void Stop();
    bool running() const { return m_server != nullptr; }
    quint16 port() const { return m_port; }

    // The state to push; `lines` when the line list changed.
    void Publish(const RemoteShowState& state, const QStringList* lines);

    // TCP connections open now (page requests and sockets), for the flood tool.
    int connections() const;

private:
    RemoteMonitor& m_monitor;
    std::unique_ptr<QThread> m_thread;
    WebRemoteServer* m_server = nullptr;
    quint16 m_port = 0;
};
