#pragma once

#include "MirrorProtocol.h"
#include "MirrorShow.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

// Where a main station serves its show to the stations that follow it, on
// the show network. A peer is heard only after it proved it holds the key;
// before that it may send one small message, and it has a few seconds to do
// so. Anything malformed ends that peer's connection, is counted and
// reported; nothing from the network ends or blocks the station.
// User-interface thread only.
class MirrorServer : public QObject {
    Q_OBJECT
public:
    explicit MirrorServer(QObject* parent = nullptr);
    ~MirrorServer() override;

    // Listens on every address at `port` (0: a free port). An error text,
    // empty on success.
    QString Listen(const std::vector<QHostAddress>& addresses, quint16 port, const QString& key);
    void Stop();
    bool listening() const { return !m_servers.empty(); }
    quint16 port() const { return m_port; }

    // What "hello" says: whether this station drives the cards, since when
    // (milliseconds since the epoch), and a number that decides between two
    // stations that became main in the same millisecond.
    void SetRole(bool main, qint64 mainSinceMs, quint32 rank);

    // The show as it stands; new followers get the latest of each at once.
    void PublishShow(const MirrorShowContent& show);
    void PublishState(const QByteArray& stateJson);
    // Gives the show to the followers (the link is already closed here),
    // asked for or not; the number that were sent it.
    int HandOver(const QByteArray& stateJson);

    int followers() const;
    // Connections ended for a bad message or a failed proof.
    int refusals() const { return m_refusals; }

signals:
    // A follower asks to take the show over by hand.
    void takeOverAsked();
    // A refused peer, for the communication monitor.
    void refused(const QString& why);

private:
    struct Peer;
    void Accept(QTcpServer* server);
    void Read(Peer* peer);
    void Handle(Peer* peer, const QJsonObject& message);
    void Refuse(Peer* peer, const QString& why);
    void Drop(Peer* peer);
    void Send(Peer* peer, const QJsonObject& message);
    void SendRaw(Peer* peer, const QByteArray& frame);
    void Beat();
    QJsonObject StateMessage(const char* kind, const QByteArray& stateJson) const;
    QJsonObject Hello(const QByteArray& nonce) const;

    std::vector<QTcpServer*> m_servers;
    std::vector<std::unique_ptr<Peer>> m_peers;
    QString m_key;
    quint16 m_port = 0;
    bool m_main = true;
    qint64 m_mainSince = 0;
    quint32 m_rank = 0;
    QByteArray m_showFrame;
    QByteArray m_stateJson;
    QTimer m_beat;
    int m_refusals = 0;
};
