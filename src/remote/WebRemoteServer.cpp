#include "WebRemoteServer.h"

#include "HttpRequest.h"
#include "WebProtocol.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {

using Clock = std::chrono::steady_clock;

// Marks a page connection handed to the WebSocket server: the page handler
// leaves it alone from then on.
const char* const kUpgraded = "stationUpgraded";
// Marks a page connection that has its answer and is closing.
const char* const kAnswered = "stationAnswered";

QString AddressText(const QHostAddress& address) {
    bool ok = false;
    const quint32 ipv4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(ipv4).toString() : address.toString();
}

template <typename Socket> QString PeerText(const Socket* socket) {
    return AddressText(socket->peerAddress());
}

// A connection as both its QTcpSocket and its QWebSocket see it.
template <typename Socket> QString Endpoint(const Socket* socket) {
    return PeerText(socket) + QLatin1Char(':') + QString::number(socket->peerPort());
}

// Compares without stopping at the first difference, so the time of a wrong
// answer tells nothing about how much of it was right.
bool SamePin(const QString& a, const QString& b) {
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    unsigned diff = x.size() == y.size() ? 0U : 1U;
    for (qsizetype i = 0; i < x.size(); ++i) {
        diff |= static_cast<unsigned>(x[i] ^ y[i % std::max<qsizetype>(y.size(), 1)]);
    }
    return diff == 0 && !y.isEmpty();
}

// Counts a connection for as long as it exists.
class ConnectionCount : public QObject {
public:
    ConnectionCount(std::atomic<int>& count, QObject* connection)
        : QObject(connection), m_count(count) {
        ++m_count;
    }
    ~ConnectionCount() override { --m_count; }

private:
    std::atomic<int>& m_count;
};

} // namespace

WebRemoteServer::WebRemoteServer(RemoteMonitor& monitor, WebRemote::Submit submit)
    : m_monitor(monitor), m_submit(std::move(submit)) {}

WebRemoteServer::~WebRemoteServer() = default;

QString WebRemoteServer::Listen(const WebServerConfig& config, quint16* port) {
    m_pin = config.pin;
    for (const char* name :
         {":/remote/web/index.html", ":/remote/web/remote.js", ":/remote/web/remote.css"}) {
        QFile file(QString::fromLatin1(name));
        if (!file.open(QIODevice::ReadOnly)) {
            return QStringLiteral("网页遥控的页面文件缺失：") + file.fileName();
        }
        m_files.insert(file.fileName(), file.readAll());
    }
    m_webSockets = new QWebSocketServer(QStringLiteral("subtitle-station"),
                                        QWebSocketServer::NonSecureMode, this);
    m_webSockets->setHandshakeTimeout(std::chrono::milliseconds(kRequestTimeoutMs));
    connect(m_webSockets, &QWebSocketServer::newConnection, this,
            &WebRemoteServer::AcceptWebSocket);

    quint16 chosen = config.port;
    for (const QHostAddress& address : config.listen) {
        auto* server = new QTcpServer(this);
        if (!server->listen(address, chosen)) {
            const QString error = QStringLiteral("无法在 %1:%2 提供网页遥控：%3")
                                      .arg(address.toString())
                                      .arg(chosen)
                                      .arg(server->errorString());
            Shutdown();
            return error;
        }
        chosen = server->serverPort();
        connect(server, &QTcpServer::newConnection, this, [this, server] { Accept(server); });
        m_servers.push_back(server);
    }
    if (m_servers.empty()) {
        Shutdown();
        return QStringLiteral("没有可以提供网页遥控的地址");
    }
    *port = chosen;
    return {};
}

void WebRemoteServer::Shutdown() {
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->socket) {
            it->socket->disconnect(this);
            it->socket->abort();
            delete it->socket.data();
        }
    }
    m_clients.clear();
    m_handshaking.clear();
    for (QTcpServer* server : m_servers) {
        server->close();
        delete server; // with the page connections still open on it
    }
    m_servers.clear();
    delete m_webSockets;
    m_webSockets = nullptr;
}

// ---- page requests

void WebRemoteServer::Accept(QTcpServer* server) {
    while (server->hasPendingConnections()) {
        QTcpSocket* socket = server->nextPendingConnection();
        if (connections.load() >= WebRemote::kMaxConnections) {
            m_monitor.Note(RemoteMonitor::Kind::WebTooManyConnections, PeerText(socket));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // A child, not a signal: the WebSocket upgrade disconnects every
        // signal of the connection, but its children still go with it.
        new ConnectionCount(connections, socket);
        // Qt stops reading from the network once this much waits unread, so
        // a head that never ends costs no more than this.
        socket->setReadBufferSize(kMaxHttpHead + 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ReadRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [socket] {
            if (!socket->property(kUpgraded).toBool()) {
                socket->deleteLater();
            }
        });
        // Whatever has not ended by then (a head that never comes, an answer
        // the client does not read) ends now.
        QTimer::singleShot(kRequestTimeoutMs, socket, [this, socket] {
            if (socket->property(kUpgraded).toBool()) {
                return;
            }
            if (!socket->property(kAnswered).toBool()) {
                m_monitor.Note(RemoteMonitor::Kind::HttpTimeout, PeerText(socket));
            }
            socket->abort();
            socket->deleteLater();
        });
    }
}

void WebRemoteServer::ReadRequest(QTcpSocket* socket) {
    if (socket->property(kUpgraded).toBool()) {
        return;
    }
    // Peeked, not read: a WebSocket upgrade leaves the head for the
    // WebSocket server to read again.
    const QByteArray received = socket->peek(kMaxHttpHead + 1);
    const HttpHeadParse parse = ParseHttpHead(received);
    if (parse.state == HttpHeadParse::State::Incomplete) {
        return;
    }
    if (parse.state == HttpHeadParse::State::Bad) {
        m_monitor.Note(RemoteMonitor::Kind::HttpBadRequest, PeerText(socket));
        Answer(socket, parse.status, "text/plain; charset=utf-8", "bad request\n");
        return;
    }
    const HttpRoute route = RouteHttpRequest(parse.head);
    switch (route.kind) {
    case HttpRoute::Kind::File:
        Answer(socket, 200, route.contentType, m_files.value(route.resource), route.headOnly);
        return;
    case HttpRoute::Kind::WebSocket: {
        socket->setProperty(kUpgraded, true);
        socket->disconnect(this);
        // The WebSocket server reads the head again and, when the handshake
        // is good, makes a QWebSocket on this connection; it never deletes
        // the connection itself. Until then the connection is ours to end;
        // afterwards it ends after its QWebSocket (OnClosed).
        // (Keyed while connected: an ended socket forgets its peer.)
        const QString endpoint = Endpoint(socket);
        m_handshaking.insert(endpoint, socket);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, endpoint] {
            if (m_handshaking.value(endpoint) == socket) {
                m_handshaking.remove(endpoint);
                socket->deleteLater();
            }
        });
        socket->setReadBufferSize(0);
        m_webSockets->handleConnection(socket);
        return;
    }
    case HttpRoute::Kind::Error:
        if (route.status != 404) {
            m_monitor.Note(RemoteMonitor::Kind::HttpBadRequest, PeerText(socket));
        }
        Answer(socket, route.status, "text/plain; charset=utf-8",
               route.status == 404 ? QByteArray("not found\n") : QByteArray("bad request\n"));
        return;
    }
}

void WebRemoteServer::Answer(QTcpSocket* socket, int status, const QByteArray& type,
                             const QByteArray& body, bool headOnly) {
    QObject::disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    socket->setProperty(kAnswered, true);
    // Whatever else the client sends is not read any more.
    socket->readAll();
    socket->write(HttpResponse(status, type, body, headOnly));
    socket->disconnectFromHost();
}

// ---- the remote's WebSocket

void WebRemoteServer::AcceptWebSocket() {
    while (m_webSockets != nullptr && m_webSockets->hasPendingConnections()) {
        QWebSocket* socket = m_webSockets->nextPendingConnection();
        socket->setParent(this);
        socket->setMaxAllowedIncomingFrameSize(kMaxFrame);
        socket->setMaxAllowedIncomingMessageSize(kMaxFrame);
        Client client;
        client.socket = socket;
        client.connection = m_handshaking.take(Endpoint(socket));
        client.address = PeerText(socket);
        m_clients.insert(socket, client);
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { OnText(socket, text); });
        connect(socket, &QWebSocket::binaryMessageReceived, this, [this, socket] {
            m_monitor.Note(RemoteMonitor::Kind::WebBadMessage, PeerText(socket));
            socket->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported);
        });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { OnClosed(socket); });
        // A closing handshake the peer never answers (ours or Qt's, after a
        // bad frame) would hold the connection, and a place under the limit,
        // for as long as the peer likes.
        connect(socket, &QWebSocket::stateChanged, this,
                [socket](QAbstractSocket::SocketState state) {
                    if (state == QAbstractSocket::ClosingState) {
                        QTimer::singleShot(kCloseGraceMs, socket, [socket] {
                            if (socket->state() != QAbstractSocket::UnconnectedState) {
                                socket->abort();
                            }
                        });
                    }
                });
        QTimer::singleShot(kAuthTimeoutMs, socket, [this, socket] {
            const auto it = m_clients.find(socket);
            if (it != m_clients.end() && !it->authenticated) {
                m_monitor.Note(RemoteMonitor::Kind::HttpTimeout, it->address);
                socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
            }
        });
    }
}

void WebRemoteServer::OnClosed(QWebSocket* socket) {
    const QWebSocketProtocol::CloseCode code = socket->closeCode();
    // Qt closes a socket with these codes when the peer broke the protocol:
    // reserved opcodes or bits, a frame or message beyond the limits, text
    // that is not UTF-8. (A binary message was counted when it came.)
    if (code == QWebSocketProtocol::CloseCodeProtocolError ||
        code == QWebSocketProtocol::CloseCodeTooMuchData ||
        code == QWebSocketProtocol::CloseCodeWrongDatatype) {
        m_monitor.Note(RemoteMonitor::Kind::WebBadFrame, PeerText(socket));
    }
    // The QWebSocket goes first (it still refers to its connection), then
    // the connection, which nothing else deletes.
    const QPointer<QTcpSocket> connection = m_clients.value(socket).connection;
    m_clients.remove(socket);
    connect(socket, &QObject::destroyed, this, [connection] { delete connection.data(); });
    socket->deleteLater();
}

void WebRemoteServer::OnText(QWebSocket* socket, const QString& text) {
    const auto it = m_clients.find(socket);
    if (it == m_clients.end()) {
        return;
    }
    Client& client = *it;
    const auto now = Clock::now();
    client.recent.push_back(now);
    while (!client.recent.empty() && now - client.recent.front() > std::chrono::seconds(1)) {
        client.recent.pop_front();
    }
    if (client.recent.size() > kMaxMessagesPerSecond) {
        m_monitor.Note(RemoteMonitor::Kind::WebFlood, client.address);
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
        return;
    }
    const WebParse parse = ParseWebMessage(text);
    if (!parse.request) {
        m_monitor.Note(RemoteMonitor::Kind::WebBadMessage, client.address);
        Send(socket, WebErrorMessage(parse.error));
        if (++client.badMessages >= kMaxBadMessages) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
        }
        return;
    }
    if (parse.request->kind == WebRequest::Kind::Auth) {
        Authenticate(client, parse.request->pin);
        return;
    }
    if (!client.authenticated) {
        m_monitor.Note(RemoteMonitor::Kind::WebBadMessage, client.address);
        Send(socket, WebErrorMessage(QStringLiteral("请先输入 PIN。")));
        if (++client.badMessages >= kMaxBadMessages) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
        }
        return;
    }
    const RemoteVerb verb = parse.request->command.verb;
    if (m_pending >= kMaxPendingCommands) {
        Send(socket, WebResultMessage(
                         verb, RemoteResult::Refused(QStringLiteral("字幕机正忙，请稍候再试。"))));
        return;
    }
    ++m_pending;
    QPointer<WebRemoteServer> self(this);
    QPointer<QWebSocket> target(socket);
    m_submit(parse.request->command, [self, target, verb](const RemoteResult& result) {
        // Back onto the server's thread; nothing happens if it has stopped.
        QMetaObject::invokeMethod(
            self.data(),
            [self, target, verb, result] {
                --self->m_pending;
                if (target) {
                    self->Send(target, WebResultMessage(verb, result));
                }
            },
            Qt::QueuedConnection);
    });
}

void WebRemoteServer::Authenticate(Client& client, const QString& pin) {
    QWebSocket* socket = client.socket;
    if (client.authenticated) {
        Send(socket, WebAuthReply(true));
        return;
    }
    if (PinLocked(client.address)) {
        m_monitor.Note(RemoteMonitor::Kind::WebPinLocked, client.address);
        Send(socket, WebAuthReply(false, QStringLiteral("PIN 错误次数过多，请一分钟后再试。")));
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
        return;
    }
    if (!SamePin(pin, m_pin)) {
        m_monitor.Note(RemoteMonitor::Kind::WebWrongPin, client.address);
        NotePinFailure(client.address);
        Send(socket, WebAuthReply(false, QStringLiteral("PIN 不正确。")));
        if (++client.pinTries >= kMaxPinTriesPerSocket) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
        }
        return;
    }
    client.authenticated = true;
    Send(socket, WebAuthReply(true));
    SendState(socket);
}

bool WebRemoteServer::PinLocked(const QString& address) {
    const auto it = m_pinFailures.find(address);
    if (it == m_pinFailures.end()) {
        return false;
    }
    if (Clock::now() - it->since > std::chrono::minutes(1)) {
        m_pinFailures.erase(it);
        return false;
    }
    return it->count >= kMaxPinFailuresPerMinute;
}

void WebRemoteServer::NotePinFailure(const QString& address) {
    // The table of addresses stays small whatever a flood forges.
    if (m_pinFailures.size() > 1024) {
        m_pinFailures.clear();
    }
    PinFailures& failures = m_pinFailures[address];
    if (failures.count == 0 || Clock::now() - failures.since > std::chrono::minutes(1)) {
        failures = PinFailures{0, Clock::now()};
    }
    ++failures.count;
}

void WebRemoteServer::Send(QWebSocket* socket, const QString& text) {
    if (socket != nullptr && socket->state() == QAbstractSocket::ConnectedState) {
        socket->sendTextMessage(text);
    }
}

void WebRemoteServer::SendState(QWebSocket* socket) {
    if (m_fullJson.isEmpty()) {
        m_fullJson = WebStateMessage(m_state, &m_lines);
    }
    Send(socket, m_fullJson);
}

void WebRemoteServer::Publish(const RemoteShowState& state,
                              const std::optional<QStringList>& lines) {
    m_state = state;
    if (lines) {
        m_lines = *lines;
    }
    m_stateJson = WebStateMessage(state, nullptr);
    m_fullJson = WebStateMessage(state, &m_lines);
    const QString& message = lines ? m_fullJson : m_stateJson;
    for (const Client& client : std::as_const(m_clients)) {
        if (client.authenticated) {
            Send(client.socket, message);
        }
    }
}
