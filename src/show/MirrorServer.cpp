#include "MirrorServer.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace {

// Under the 200 ms a follower may count on, with room for a busy moment.
constexpr int kBeatMs = 100;
// What a peer may send before it proved the key, and how long it may take.
constexpr qsizetype kMaxBeforeProof = 4096;
constexpr qint64 kProofTimeMs = 5000;
// Peers waiting for their proof at once; more are turned away.
constexpr int kMaxWaiting = 8;
// A follower that does not take what is sent (its buffer grows past this) is
// dropped rather than kept at the cost of memory.
constexpr qint64 kMaxUnsent = qint64(kMaxMirrorMessage) * 2;

} // namespace

struct MirrorServer::Peer {
    QTcpSocket* socket = nullptr;
    MirrorReader reader;
    QByteArray nonce;
    QElapsedTimer since;
    bool proved = false;
};

MirrorServer::MirrorServer(QObject* parent) : QObject(parent) {
    m_beat.setInterval(kBeatMs);
    connect(&m_beat, &QTimer::timeout, this, [this] { Beat(); });
}

MirrorServer::~MirrorServer() {
    Stop();
}

QString MirrorServer::Listen(const std::vector<QHostAddress>& addresses, quint16 port,
                             const QString& key) {
    Stop();
    if (key.isEmpty()) {
        return QStringLiteral("主备同步需要共享密钥（远程控制的 PIN）");
    }
    m_key = key;
    quint16 bound = port;
    for (const QHostAddress& address : addresses) {
        auto* server = new QTcpServer(this);
        if (!server->listen(address, bound)) {
            const QString error = QStringLiteral("主备同步无法在 %1:%2 监听：%3")
                                      .arg(address.toString())
                                      .arg(bound)
                                      .arg(server->errorString());
            delete server;
            Stop();
            return error;
        }
        bound = server->serverPort();
        connect(server, &QTcpServer::newConnection, this, [this, server] { Accept(server); });
        m_servers.push_back(server);
    }
    m_port = bound;
    m_beat.start();
    return {};
}

void MirrorServer::Stop() {
    m_beat.stop();
    while (!m_peers.empty()) {
        Drop(m_peers.back().get());
    }
    for (QTcpServer* server : m_servers) {
        server->close();
        server->deleteLater();
    }
    m_servers.clear();
    m_port = 0;
}

void MirrorServer::SetRole(bool main, qint64 mainSinceMs, quint32 rank) {
    m_main = main;
    m_mainSince = mainSinceMs;
    m_rank = rank;
}

QJsonObject MirrorServer::Hello(const QByteArray& nonce) const {
    return QJsonObject{
        {QStringLiteral("t"), QString::fromLatin1(mirror::kHello)},
        {QStringLiteral("role"), m_main ? QStringLiteral("main") : QStringLiteral("backup")},
        {QStringLiteral("since"), m_mainSince},
        {QStringLiteral("rank"), qint64(m_rank)},
        {QStringLiteral("nonce"), QString::fromLatin1(nonce)}};
}

void MirrorServer::Accept(QTcpServer* server) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        int waiting = 0;
        for (const auto& peer : m_peers) {
            waiting += peer->proved ? 0 : 1;
        }
        if (waiting >= kMaxWaiting) {
            ++m_refusals;
            emit refused(QStringLiteral("主备同步：等待验证的连接过多，已拒绝 ") +
                         socket->peerAddress().toString());
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto peer = std::make_unique<Peer>();
        peer->socket = socket;
        peer->nonce = MirrorNonce();
        peer->since.start();
        Peer* raw = peer.get();
        m_peers.push_back(std::move(peer));
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { Read(raw); });
        connect(socket, &QTcpSocket::disconnected, this, [this, raw] { Drop(raw); });
        Send(raw, Hello(raw->nonce));
    }
}

void MirrorServer::Read(Peer* peer) {
    peer->reader.Append(peer->socket->readAll());
    if (!peer->proved && peer->reader.buffered() > kMaxBeforeProof) {
        Refuse(peer, QStringLiteral("验证前的数据过多"));
        return;
    }
    for (;;) {
        QJsonObject message;
        QString error;
        const MirrorReader::Result result = peer->reader.Next(&message, &error);
        if (result == MirrorReader::Result::NeedMore) {
            return;
        }
        if (result == MirrorReader::Result::Bad) {
            Refuse(peer, error);
            return;
        }
        Handle(peer, message);
        if (std::none_of(m_peers.begin(), m_peers.end(),
                         [peer](const auto& p) { return p.get() == peer; })) {
            return; // dropped while handling
        }
    }
}

void MirrorServer::Handle(Peer* peer, const QJsonObject& message) {
    const QString kind = MirrorKind(message);
    if (!peer->proved) {
        if (kind != QLatin1String(mirror::kAuth) ||
            !SameProof(message.value(QStringLiteral("proof")).toString(),
                       MirrorProof(m_key, peer->nonce))) {
            Refuse(peer, QStringLiteral("密钥不符"));
            return;
        }
        const QString theirs = message.value(QStringLiteral("nonce")).toString();
        if (theirs.isEmpty() || theirs.size() > 256) {
            Refuse(peer, QStringLiteral("验证消息不完整"));
            return;
        }
        peer->proved = true;
        Send(peer, QJsonObject{{QStringLiteral("t"), QString::fromLatin1(mirror::kWelcome)},
                               {QStringLiteral("proof"), MirrorProof(m_key, theirs.toLatin1())}});
        if (!m_showFrame.isEmpty()) {
            SendRaw(peer, m_showFrame);
        }
        if (!m_stateJson.isEmpty()) {
            Send(peer, StateMessage(mirror::kState, m_stateJson));
        }
        return;
    }
    if (kind == QLatin1String(mirror::kTakeOver)) {
        emit takeOverAsked();
    }
    // Anything else from a follower carries nothing for us.
}

void MirrorServer::Refuse(Peer* peer, const QString& why) {
    ++m_refusals;
    emit refused(
        QStringLiteral("主备同步：拒绝 %1（%2）").arg(peer->socket->peerAddress().toString(), why));
    peer->socket->write(EncodeMirrorMessage(
        QJsonObject{{QStringLiteral("t"), QString::fromLatin1(mirror::kRefused)},
                    {QStringLiteral("reason"), why}}));
    peer->socket->flush();
    Drop(peer);
}

void MirrorServer::Drop(Peer* peer) {
    const auto found = std::find_if(m_peers.begin(), m_peers.end(),
                                    [peer](const auto& p) { return p.get() == peer; });
    if (found == m_peers.end()) {
        return;
    }
    std::unique_ptr<Peer> owned = std::move(*found);
    m_peers.erase(found);
    owned->socket->disconnect(this);
    owned->socket->abort();
    owned->socket->deleteLater();
}

void MirrorServer::Send(Peer* peer, const QJsonObject& message) {
    SendRaw(peer, EncodeMirrorMessage(message));
}

void MirrorServer::SendRaw(Peer* peer, const QByteArray& frame) {
    if (peer->socket->bytesToWrite() > kMaxUnsent) {
        Refuse(peer, QStringLiteral("对方不接收数据"));
        return;
    }
    peer->socket->write(frame);
}

QJsonObject MirrorServer::StateMessage(const char* kind, const QByteArray& stateJson) const {
    return QJsonObject{{QStringLiteral("t"), QString::fromLatin1(kind)},
                       {QStringLiteral("state"), QString::fromUtf8(stateJson)},
                       {QStringLiteral("sentAtMs"), QDateTime::currentMSecsSinceEpoch()}};
}

void MirrorServer::PublishShow(const MirrorShowContent& show) {
    m_showFrame = EncodeMirrorMessage(ShowToMessage(show));
    std::vector<Peer*> proved;
    for (const auto& peer : m_peers) {
        if (peer->proved) {
            proved.push_back(peer.get());
        }
    }
    for (Peer* peer : proved) {
        SendRaw(peer, m_showFrame);
    }
}

void MirrorServer::PublishState(const QByteArray& stateJson) {
    m_stateJson = stateJson;
    const QByteArray frame = EncodeMirrorMessage(StateMessage(mirror::kState, stateJson));
    std::vector<Peer*> proved;
    for (const auto& peer : m_peers) {
        if (peer->proved) {
            proved.push_back(peer.get());
        }
    }
    for (Peer* peer : proved) {
        SendRaw(peer, frame);
        peer->socket->flush();
    }
}

int MirrorServer::HandOver(const QByteArray& stateJson) {
    m_stateJson = stateJson;
    const QByteArray frame = EncodeMirrorMessage(StateMessage(mirror::kHandOver, stateJson));
    int sent = 0;
    for (const auto& peer : m_peers) {
        if (peer->proved) {
            peer->socket->write(frame);
            peer->socket->flush();
            ++sent;
        }
    }
    return sent;
}

int MirrorServer::followers() const {
    return int(std::count_if(m_peers.begin(), m_peers.end(),
                             [](const auto& peer) { return peer->proved; }));
}

void MirrorServer::Beat() {
    const QByteArray beat =
        EncodeMirrorMessage(QJsonObject{{QStringLiteral("t"), QString::fromLatin1(mirror::kBeat)}});
    std::vector<Peer*> late;
    std::vector<Peer*> proved;
    for (const auto& peer : m_peers) {
        if (peer->proved) {
            proved.push_back(peer.get());
        } else if (peer->since.elapsed() > kProofTimeMs) {
            late.push_back(peer.get());
        }
    }
    for (Peer* peer : late) {
        Refuse(peer, QStringLiteral("验证超时"));
    }
    for (Peer* peer : proved) {
        SendRaw(peer, beat);
    }
}
