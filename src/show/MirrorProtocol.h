#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>

// The messages between a main station and the stations that mirror it: each
// one a 4-byte big-endian length and that many bytes of compact JSON with a
// "t" naming its kind. Everything read comes from the network and is checked:
// a length over the cap, bytes that are not a JSON object, or a message
// without a kind ends the connection.
//
// The exchange: the main station opens with "hello" (its role and a nonce);
// the follower answers "auth" with the keyed digest of that nonce and a nonce
// of its own; the main station answers "welcome" with the digest of the
// follower's nonce (both sides have proved they hold the key) or "refused".
// Then the main station sends "show" (the playlist and its files), "state"
// (the show as it stands) and "beat" at least every 200 ms.

// A whole show (the playlist's files) fits; a peer that announces more is
// not one of ours.
inline constexpr std::uint32_t kMaxMirrorMessage = 64u * 1024u * 1024u;

namespace mirror {
inline constexpr char kHello[] = "hello";
inline constexpr char kAuth[] = "auth";
inline constexpr char kWelcome[] = "welcome";
inline constexpr char kRefused[] = "refused";
inline constexpr char kShow[] = "show";
inline constexpr char kState[] = "state";
inline constexpr char kBeat[] = "beat";
// The follower asks for the show: the main station closes its link and
// answers kHandOver.
inline constexpr char kTakeOver[] = "takeover";
// The main station gives the show to the follower, its link already closed.
inline constexpr char kHandOver[] = "handover";
} // namespace mirror

QByteArray EncodeMirrorMessage(const QJsonObject& message);
QString MirrorKind(const QJsonObject& message);

// Collects bytes as they arrive and cuts them into messages.
class MirrorReader {
public:
    enum class Result { NeedMore, Message, Bad };
    // Once the stream is bad nothing more is kept: its connection is on its
    // way out and a peer that goes on sending must not fill the memory.
    void Append(const QByteArray& bytes) {
        if (!m_bad) {
            m_buffer += bytes;
        }
    }
    // The next whole message in *out; Bad (with a reason) once the stream
    // cannot be trusted any more, and from then on.
    Result Next(QJsonObject* out, QString* error);
    qsizetype buffered() const { return m_buffer.size(); }

private:
    QByteArray m_buffer;
    bool m_bad = false;
};

// A random nonce for the exchange.
QByteArray MirrorNonce();
// The keyed digest (HMAC-SHA256) of `nonce` under `key`, base64.
QString MirrorProof(const QString& key, const QByteArray& nonce);
// Compares in time independent of where the texts differ.
bool SameProof(const QString& a, const QString& b);
