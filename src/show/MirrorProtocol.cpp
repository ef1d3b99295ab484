#include "MirrorProtocol.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QtEndian>

#include <array>

QByteArray EncodeMirrorMessage(const QJsonObject& message) {
    const QByteArray body = QJsonDocument(message).toJson(QJsonDocument::Compact);
    std::array<uchar, 4> length{};
    qToBigEndian<quint32>(quint32(body.size()), length.data());
    QByteArray frame(reinterpret_cast<const char*>(length.data()), 4);
    frame += body;
    return frame;
}

QString MirrorKind(const QJsonObject& message) {
    return message.value(QStringLiteral("t")).toString();
}

MirrorReader::Result MirrorReader::Next(QJsonObject* out, QString* error) {
    if (m_bad) {
        return Result::Bad;
    }
    if (m_buffer.size() < 4) {
        return Result::NeedMore;
    }
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData());
    const auto fail = [this, error](const QString& reason) {
        m_bad = true;
        m_buffer.clear();
        if (error != nullptr) {
            *error = reason;
        }
        return Result::Bad;
    };
    if (length > kMaxMirrorMessage) {
        return fail(QStringLiteral("消息过长（%1 字节）").arg(length));
    }
    if (quint64(m_buffer.size()) < 4 + quint64(length)) {
        return Result::NeedMore;
    }
    const QByteArray body = m_buffer.mid(4, qsizetype(length));
    m_buffer.remove(0, 4 + qsizetype(length));
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        return fail(QStringLiteral("消息不是有效的 JSON 对象"));
    }
    const QJsonObject object = document.object();
    if (MirrorKind(object).isEmpty()) {
        return fail(QStringLiteral("消息没有类型"));
    }
    *out = object;
    return Result::Message;
}

QByteArray MirrorNonce() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof(words)).toBase64();
}

QString MirrorProof(const QString& key, const QByteArray& nonce) {
    return QString::fromLatin1(
        QMessageAuthenticationCode::hash(nonce, key.toUtf8(), QCryptographicHash::Sha256)
            .toBase64());
}

bool SameProof(const QString& a, const QString& b) {
    const QByteArray x = a.toLatin1();
    const QByteArray y = b.toLatin1();
    if (x.size() != y.size()) {
        return false;
    }
    unsigned char diff = 0;
    for (qsizetype i = 0; i < x.size(); ++i) {
        diff |= static_cast<unsigned char>(x[i] ^ y[i]);
    }
    return diff == 0 && !x.isEmpty();
}
