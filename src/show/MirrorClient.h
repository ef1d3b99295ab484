#pragma once

#include "MirrorProtocol.h"
#include "MirrorShow.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// A station's link to the main station it follows (or looks for): connects,
// proves the key and checks the main station's proof, then reports what it
// sends. Tries again a few times a second while there is no connection.
// What arrives is checked as the server checks it. User-interface thread only.
class MirrorClient : public QObject {
    Q_OBJECT
public:
    explicit MirrorClient(QObject* parent = nullptr);
    ~MirrorClient() override;

    void Start(const QHostAddress& host, quint16 port, const QString& key);
    void Stop();
    bool running() const { return m_running; }
    // Both sides proved the key.
    bool following() const { return m_welcomed; }
    // Milliseconds since the main station was last heard; -1 before it ever was.
    qint64 sinceHeardMs() const;
    // Asks the main station to close its link and release the show.
    void AskTakeOver();

signals:
    // The station at the address said what it is (before any proof).
    void hello(bool main, qint64 mainSinceMs, quint32 rank);
    void welcomed();
    void showReceived(const MirrorShowContent& show);
    // `sentAtMs`: the main station's clock when it sent it.
    void stateReceived(const QByteArray& stateJson, qint64 sentAtMs);
    void handedOver(const QByteArray& stateJson);
    // No station answered at the address (refused, or the connection failed
    // before any greeting).
    void unreachable();
    // The main station refused us, or proved no key, or sent something malformed.
    void problem(const QString& why);
    void lost();

private:
    void Connect();
    void Read();
    bool Handle(const QJsonObject& message);
    void Fail(const QString& why);

    QTcpSocket* m_socket = nullptr;
    QTimer m_retry;
    MirrorReader m_reader;
    QHostAddress m_host;
    quint16 m_port = 0;
    QString m_key;
    QByteArray m_nonce;
    QElapsedTimer m_heard;
    bool m_running = false;
    bool m_welcomed = false;
    bool m_greeted = false;
};
