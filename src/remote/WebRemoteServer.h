#pragma once

#include "remote/RemoteMonitor.h"
#include "remote/WebRemote.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <deque>
#include <optional>

class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

// The web remote's sockets, living on WebRemote's thread: every function runs
// there (WebRemote calls in with queued or blocking-queued invocations).
class WebRemoteServer : public QObject {
    Q_OBJECT
public:
    WebRemoteServer(RemoteMonitor& monitor, WebRemote::Submit submit);
    ~WebRemoteServer() override;

    static constexpr qsizetype kMaxFrame = 8192;
    static constexpr int kMaxMessagesPerSecond = 20;
    static constexpr int kMaxBadMessages = 5;
    static constexpr int kMaxPinTriesPerSocket = 3;
    static constexpr int kMaxPinFailuresPerMinute = 5;
    static constexpr int kRequestTimeoutMs = 5000;
    static constexpr int kAuthTimeoutMs = 20000;
    static constexpr int kCloseGraceMs = 1000;
    static constexpr int kMaxPendingCommands = 16;

    // Opens every address; returns the error or empty, and the port in `port`.
    QString Listen(const WebServerConfig& config, quint16* port);
    // Closes and deletes every socket and server.
    void Shutdown();
    // `lines` when the line list changed.
    void Publish(const RemoteShowState& state, const std::optional<QStringList>& lines);

    std::atomic<int> connections{0};

private:
    struct Client {
        QPointer<QWebSocket> socket;
        QPointer<QTcpSocket> connection; // under the socket, deleted after it
        QString address;
        bool authenticated = false;
        int badMessages = 0;
        int pinTries = 0;
        int pending = 0;
        std::deque<std::chrono::steady_clock::time_point> recent;
    };

    void Accept(QTcpServer* server);
    void ReadRequest(QTcpSocket* socket);
    void Answer(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
                bool headOnly = false);
    void AcceptWebSocket();
    void OnText(QWebSocket* socket, const QString& text);
    void OnClosed(QWebSocket* socket);
    void Authenticate(Client& client, const QString& pin);
    bool PinLocked(const QString& address);
    void NotePinFailure(const QString& address);
    void Send(QWebSocket* socket, const QString& text);
    void SendState(QWebSocket* socket);

    RemoteMonitor& m_monitor;
    WebRemote::Submit m_submit;
    QString m_pin;
    std::vector<QTcpServer*> m_servers;
    QWebSocketServer* m_webSockets = nullptr;
    QHash<QWebSocket*, Client> m_clients;
    // Connections handed to the WebSocket server whose handshake has not
    // finished, by peer address and port.
    QHash<QString, QTcpSocket*> m_handshaking;
    QHash<QString, QByteArray> m_files;
    struct PinFailures {
        int count = 0;
        std::chrono::steady_clock::time_point since;
    };
    QHash<QString, PinFailures> m_pinFailures;
    RemoteShowState m_state;
    QStringList m_lines;
    QString m_stateJson; // without the lines
    QString m_fullJson;  // with them, for a page that just signed in
    int m_pending = 0;
};
