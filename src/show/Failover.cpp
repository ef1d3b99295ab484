#include "Failover.h"

#include <QDateTime>
#include <QRandomGenerator>

#include <utility>

namespace {

// How often a backup looks at the silence.
constexpr int kSilenceCheckMs = 50;
// How long a station told to be main waits for its peer to say what it is.
constexpr int kDecideMs = 1500;
// How long a backup waits for the main station to give the show by hand.
constexpr int kHandOverWaitMs = 5000;

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

Failover::Failover(FailoverViews views, QString mirrorDir, QObject* parent)
    : QObject(parent), m_views(std::move(views)), m_mirrorDir(std::move(mirrorDir)),
      m_rank(QRandomGenerator::system()->generate()) {
    m_silence.setInterval(kSilenceCheckMs);
    connect(&m_silence, &QTimer::timeout, this, [this] { CheckSilence(); });
    m_decide.setSingleShot(true);
    m_decide.setInterval(kDecideMs);
    connect(&m_decide, &QTimer::timeout, this, [this] {
        if (m_phase == Phase::Deciding) {
            BecomeMain();
        }
    });
    m_handOverWait.setSingleShot(true);
    m_handOverWait.setInterval(kHandOverWaitMs);
    connect(&m_handOverWait, &QTimer::timeout, this, [this] {
        if (m_askedTakeOver && m_phase == Phase::Following) {
            m_askedTakeOver = false;
            Say(QStringLiteral("主机没有交出演出，本机仍为备机。"));
        }
    });

    connect(&m_client, &MirrorClient::hello, this,
            [this](bool main, qint64 since, quint32 rank) { OnHello(main, since, rank); });
    connect(&m_client, &MirrorClient::unreachable, this, [this] {
        if (m_phase == Phase::Deciding) {
            BecomeMain();
        }
    });
    connect(&m_client, &MirrorClient::welcomed, this, [this] {
        if (m_phase == Phase::Following) {
            m_heardMain = true;
            // A reason given for being a backup stays on the status line.
            if (m_said == WaitingStatus()) {
                Say(FollowingStatus());
            }
        }
    });
    connect(&m_client, &MirrorClient::showReceived, this,
            [this](const MirrorShowContent& show) { OnShow(show); });
    connect(&m_client, &MirrorClient::stateReceived, this,
            [this](const QByteArray& json, qint64 sentAt) { OnState(json, sentAt); });
    connect(&m_client, &MirrorClient::handedOver, this, [this](const QByteArray& json) {
        if (m_phase != Phase::Following) {
            return;
        }
        if (const std::optional<ShowState> state = ShowStateFromJson(json)) {
            m_last = *state;
        }
        TakeOver(TakenOverStatus());
    });
    connect(&m_client, &MirrorClient::problem, this, [this](const QString& why) {
        if (m_views.monitor) {
            m_views.monitor(QStringLiteral("主备同步：") + why);
        }
    });
    connect(&m_server, &MirrorServer::takeOverAsked, this, [this] { OnTakeOverAsked(); });
    connect(&m_server, &MirrorServer::refused, this, [this](const QString& why) {
        if (m_views.monitor) {
            m_views.monitor(why);
        }
    });
}

Failover::~Failover() = default;

QString Failover::FollowingStatus() {
    return QStringLiteral("备机：跟随主机");
}

QString Failover::WaitingStatus() {
    return QStringLiteral("备机：等待主机");
}

QString Failover::TakenOverStatus() {
    return QStringLiteral("备机已接管");
}

QString Failover::AnotherMainStatus(const QString& peer) {
    return QStringLiteral("另一台主机（%1）已在控制字幕机，本机保持为备机").arg(peer);
}

QString Failover::HandedOverStatus() {
    return QStringLiteral("已交给另一台字幕机，本机为备机");
}

QString Failover::Start(const FailoverSettings& settings, const QString& key,
                        std::vector<QHostAddress> showNetwork) {
    m_settings = settings;
    m_key = key;
    m_showNetwork = std::move(showNetwork);
    if (!settings.paired()) {
        m_phase = Phase::Alone;
        return {};
    }
    if (const QString error = CheckFailoverSettings(settings); !error.isEmpty()) {
        return error;
    }
    if (key.isEmpty()) {
        return QStringLiteral("主备同步需要共享密钥：请设置远程控制的 PIN 或 [Failover] Key。");
    }
    m_peer = settings.peer.isEmpty() ? std::nullopt : ParsePeerAddress(settings.peer);
    if (settings.role == StationRole::Backup) {
        Follow(WaitingStatus());
        return {};
    }
    if (!m_peer) {
        BecomeMain();
        return {};
    }
    // Told to be main: whoever answers at the peer's address decides.
    m_phase = Phase::Deciding;
    m_client.Start(m_peer->host, m_peer->port, m_key);
    m_decide.start();
    return {};
}

void Failover::Say(const QString& text) {
    m_said = text;
    if (m_views.status) {
        m_views.status(text);
    }
}

void Failover::BecomeMain() {
    const bool wasDeciding = m_phase == Phase::Deciding;
    m_decide.stop();
    m_silence.stop();
    m_handOverWait.stop();
    m_askedTakeOver = false;
    m_phase = Phase::Main;
    m_mainSince = NowMs();
    if (m_peer) {
        // Still watched: a second main station that appears there is found.
        if (!m_client.running()) {
            m_client.Start(m_peer->host, m_peer->port, m_key);
        }
    } else {
        m_client.Stop();
    }
    if (m_settings.mirrorPort != 0 && !m_server.listening()) {
        if (const QString error =
                m_server.Listen(m_showNetwork, quint16(m_settings.mirrorPort), m_key);
            !error.isEmpty()) {
            Say(error);
        }
    }
    m_server.SetRole(true, m_mainSince, m_rank);
    m_showKey.clear();
    if (m_views.following) {
        m_views.following(false);
    }
    if (wasDeciding && m_views.decided) {
        m_views.decided();
    }
}

void Failover::Follow(const QString& why) {
    const bool wasDeciding = m_phase == Phase::Deciding;
    m_decide.stop();
    m_handOverWait.stop();
    m_askedTakeOver = false;
    m_phase = Phase::Following;
    m_heardMain = false;
    m_server.Stop();
    if (m_peer && !m_client.running()) {
        m_client.Start(m_peer->host, m_peer->port, m_key);
    }
    m_silence.start();
    if (m_views.following) {
        m_views.following(true);
    }
    Say(why);
    if (wasDeciding && m_views.decided) {
        m_views.decided();
    }
}

void Failover::TakeOver(const QString& why) {
    const std::optional<ShowState> last = m_last;
    BecomeMain();
    if (last && m_views.takeOver) {
        m_views.takeOver(*last);
    }
    Say(why);
    if (m_views.alert) {
        m_views.alert();
    }
}

void Failover::CheckSilence() {
    if (m_phase != Phase::Following || !m_heardMain) {
        return;
    }
    if (m_client.sinceHeardMs() > m_settings.silenceMs) {
        TakeOver(TakenOverStatus());
    }
}

void Failover::OnHello(bool main, qint64 since, quint32 rank) {
    if (m_phase == Phase::Deciding) {
        if (main) {
            Follow(AnotherMainStatus(m_settings.peer));
        } else {
            BecomeMain();
        }
        return;
    }
    const bool elder = since < m_mainSince || (since == m_mainSince && rank < m_rank);
    if (m_phase == Phase::Main && main && since > 0 && elder) {
        // Two main stations met (both started at once, or a network between
        // them came back): the one that was main first keeps the cards.
        m_phase = Phase::SteppingDown;
        if (m_views.release) {
            m_views.release();
        }
        Follow(AnotherMainStatus(m_settings.peer));
    }
}

void Failover::Publish(const ShowState& state) {
    // A backup's own captures are of the mirrored show, without the link:
    // what it takes over is what the main station sent.
    if (m_phase != Phase::Main) {
        return;
    }
    m_last = state;
    if (!m_server.listening()) {
        return;
    }
    const QStringList entries = m_views.entries ? m_views.entries() : QStringList();
    if (const QString key = ShowFilesKey(entries); key != m_showKey) {
        m_showKey = key;
        m_server.PublishShow(CollectShow(entries));
    }
    m_server.PublishState(ShowStateToJson(state));
}

void Failover::OnShow(const MirrorShowContent& show) {
    if (m_phase != Phase::Following) {
        return;
    }
    QString error;
    bool changed = false;
    const std::optional<QStringList> entries = PlaceShow(show, m_mirrorDir, &error, &changed);
    if (!entries) {
        Say(QStringLiteral("无法保存主机的播放列表：") + error);
        return;
    }
    m_followedEntries = *entries;
    m_reload = m_reload || changed;
    if (m_last && m_views.follow) {
        m_views.follow(*m_last, m_followedEntries, std::exchange(m_reload, false));
    }
}

void Failover::OnState(const QByteArray& json, qint64 sentAtMs) {
    if (m_phase != Phase::Following) {
        return;
    }
    const std::optional<ShowState> state = ShowStateFromJson(json);
    if (!state) {
        if (m_views.monitor) {
            m_views.monitor(QStringLiteral("主备同步：主机发来的演出状态无效"));
        }
        return;
    }
    m_last = *state;
    if (m_views.follow) {
        m_views.follow(*state, m_followedEntries, std::exchange(m_reload, false));
    }
    m_lagMs = NowMs() - sentAtMs;
}

void Failover::OnTakeOverAsked() {
    if (m_phase != Phase::Main) {
        return;
    }
    if (!m_peer) {
        if (m_views.monitor) {
            m_views.monitor(QStringLiteral("备机请求接管，但本机没有设置对方地址，不能交出。"));
        }
        return;
    }
    HandOver();
}

bool Failover::HandOver() {
    if (m_phase != Phase::Main || m_server.followers() == 0) {
        Say(QStringLiteral("没有备机在跟随，不能交出。"));
        return false;
    }
    if (!m_peer) {
        Say(QStringLiteral("没有设置备机的地址，交出后无法跟随它。"));
        return false;
    }
    // What the audience sees now goes to the backup; what closing the link
    // changes here must not reach it first.
    ShowState state = m_last.value_or(ShowState());
    if (m_views.current) {
        state = m_views.current();
    }
    m_phase = Phase::SteppingDown;
    if (m_views.release) {
        m_views.release();
    }
    m_server.HandOver(ShowStateToJson(state));
    Follow(HandedOverStatus());
    return true;
}

void Failover::TakeOverByHand() {
    if (m_phase != Phase::Following) {
        return;
    }
    if (m_client.following()) {
        m_askedTakeOver = true;
        m_client.AskTakeOver();
        m_handOverWait.start();
        Say(QStringLiteral("正在请主机交出演出……"));
        return;
    }
    if (m_heardMain && m_client.sinceHeardMs() <= m_settings.silenceMs) {
        Say(QStringLiteral("与主机的连接正在恢复，请稍候再试。"));
        return;
    }
    TakeOver(TakenOverStatus());
}
