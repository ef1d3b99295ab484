#include "MirrorClient.h"

#include <QJsonObject>
#include <QTcpSocket>

namespace {

constexpr int kRetryMs = 250;

} // namespace

MirrorClient::MirrorClient(QObject* parent) : QObject(parent) {
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { Connect(); });
}

MirrorClient::~MirrorClient() {
    Stop();
}

void MirrorClient::Start(const QHostAddress& host, quint16 port, const QString& key) {
    Stop();
    m_host = host;
    m_port = port;
    m_key = key;
    m_running = true;
    Connect();
}

void MirrorClient::Stop() {
    m_running = false;
    m_retry.stop();
    m_welcomed = false;
    if (m_socket != nullptr) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

qint64 MirrorClient::sinceHeardMs() const {
    return m_heard.isValid() ? m_heard.elapsed() : -1;
}

void MirrorClient::AskTakeOver() {
    if (m_socket != nullptr && m_welcomed) {
        m_socket->write(EncodeMirrorMessage(
            QJsonObject{{QStringLiteral("t"), QString::fromLatin1(mirror::kTakeOver)}}));
        m_socket->flush();
    }
}

void MirrorClient::Connect() {
    if (!m_running) {
        return;
    }
    if (m_socket != nullptr) {
        m_socket->disconnect(this);
        m_socket->deleteLater();
    }
    m_reader = MirrorReader();
    m_welcomed = false;
    m_greeted = false;
    m_socket = new QTcpSocket(this);
    QTcpSocket* socket = m_socket;
    connect(socket, &QTcpSocket::readyRead, this, [this] { Read(); });
    const auto gone = [this, socket] {
        if (socket != m_socket) {
            return;
        }
        const bool was = m_welcomed;
        const bool greeted = m_greeted;
        m_welcomed = false;
        m_greeted = false;
        if (was) {
            emit lost();
        } else if (!greeted) {
            emit unreachable();
        }
        if (m_running && !m_retry.isActive()) {
            m_retry.start(kRetryMs);
        }
    };
    connect(socket, &QTcpSocket::disconnected, this, gone);
    connect(socket, &QTcpSocket::errorOccurred, this, gone);
    socket->connectToHost(m_host, m_port);
}

void MirrorClient::Read() {
    m_reader.Append(m_socket->readAll());
    // Before the main station proved the key, only small messages.
    if (!m_welcomed && m_reader.buffered() > 4096) {
        Fail(QStringLiteral("验证前的数据过多"));
        return;
    }
    for (;;) {
        QJsonObject message;
        QString error;
        const MirrorReader::Result result = m_reader.Next(&message, &error);
        if (result == MirrorReader::Result::NeedMore) {
            return;
        }
        if (result == MirrorReader::Result::Bad) {
            Fail(error);
            return;
        }
        if (!Handle(message) || m_socket == nullptr) {
            return;
        }
    }
}

bool MirrorClient::Handle(const QJsonObject& message) {
    const QString kind = MirrorKind(message);
    if (kind == QLatin1String(mirror::kHello)) {
        const QString nonce = message.value(QStringLiteral("nonce")).toString();
        if (nonce.isEmpty() || nonce.size() > 256) {
            Fail(QStringLiteral("对方的问候不完整"));
            return false;
        }
        m_greeted = true;
        m_nonce = MirrorNonce();
        m_socket->write(EncodeMirrorMessage(
            QJsonObject{{QStringLiteral("t"), QString::fromLatin1(mirror::kAuth)},
                        {QStringLiteral("proof"), MirrorProof(m_key, nonce.toLatin1())},
                        {QStringLiteral("nonce"), QString::fromLatin1(m_nonce)}}));
        emit hello(message.value(QStringLiteral("role")).toString() == QLatin1String("main"),
                   message.value(QStringLiteral("since")).toInteger(),
                   quint32(message.value(QStringLiteral("rank")).toInteger()));
        return m_socket != nullptr;
    }
    if (kind == QLatin1String(mirror::kRefused)) {
        Fail(QStringLiteral("主机拒绝了连接：") +
             message.value(QStringLiteral("reason")).toString().left(200));
        return false;
    }
    if (!m_welcomed) {
        if (kind != QLatin1String(mirror::kWelcome) || m_nonce.isEmpty() ||
            !SameProof(message.value(QStringLiteral("proof")).toString(),
                       MirrorProof(m_key, m_nonce))) {
            Fail(QStringLiteral("对方没有证明持有相同的密钥"));
            return false;
        }
        m_welcomed = true;
        m_heard.start();
        emit welcomed();
        return m_socket != nullptr;
    }
    m_heard.start();
    if (kind == QLatin1String(mirror::kShow)) {
        const std::optional<MirrorShowContent> show = ShowFromMessage(message);
        if (!show) {
            Fail(QStringLiteral("播放列表消息无效"));
            return false;
        }
        emit showReceived(*show);
    } else if (kind == QLatin1String(mirror::kState) || kind == QLatin1String(mirror::kHandOver)) {
        const QByteArray state = message.value(QStringLiteral("state")).toString().toUtf8();
        if (kind == QLatin1String(mirror::kState)) {
            emit stateReceived(state, message.value(QStringLiteral("sentAtMs")).toInteger());
        } else {
            emit handedOver(state);
        }
    }
    return m_socket != nullptr;
}

void MirrorClient::Fail(const QString& why) {
    emit problem(why);
    if (m_socket != nullptr) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_welcomed = false;
    if (m_running && !m_retry.isActive()) {
        // A wrong key will not become right by hammering: wait longer.
        m_retry.start(kRetryMs * 8);
    }
}
