#pragma once

#include "FailoverSettings.h"
#include "MirrorClient.h"
#include "MirrorServer.h"
#include "ShowState.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

// What the station's window does for a change of role.
struct FailoverViews {
    // The playlist as the main station shows it now.
    std::function<QStringList()> entries;
    // A backup shows the main station's show (nothing goes to the cards);
    // `reload`: the files changed, what is open must be read again.
    std::function<void(const ShowState&, const QStringList& entries, bool reload)> follow;
    // Becoming the main station: the link as the main station had it, the
    // line sent again, the temporary text, the brightness, the track.
    std::function<void(const ShowState&)> takeOver;
    // Stepping down: the link is closed before anyone else connects.
    std::function<void()> release;
    // The window is a read-only view (true) or the operator's again.
    std::function<void(bool following)> following;
    std::function<void(const QString&)> status;
    // Heard by the operator: the station took the show over by itself.
    std::function<void()> alert;
    // Refused peers and other trouble from outside, for the monitor.
    std::function<void(const QString&)> monitor;
    // The show as it stands here now.
    std::function<ShowState()> current;
    // The role at start is decided (following() told which): the rest of the
    // start-up (bringing back a show that ended without closing) may run.
    std::function<void()> decided;
};

// The station's role in a pair and the changes of it. A main station serves
// its show (playlist with files, entry, line, link, brightness, temporary
// text, track position) to its backup with a heartbeat; the backup mirrors
// it and takes over by itself when the main station falls silent. A station
// told to be main first asks its peer: a peer that already is the main
// station keeps this one a backup, so two stations never drive the cards at
// once; two main stations that meet later leave the elder one in charge.
// The operator hands the show over by hand in either direction.
// User-interface thread only.
class Failover : public QObject {
    Q_OBJECT
public:
    enum class Phase { Alone, Deciding, Main, SteppingDown, Following };

    // `mirrorDir`: where a backup keeps the main station's files.
    Failover(FailoverViews views, QString mirrorDir, QObject* parent = nullptr);
    ~Failover() override;

    // Starts in the role the settings give; `key` is what both stations prove
    // they hold, `showNetwork` where the show is served. An error text, empty
    // on success (the station then runs alone).
    QString Start(const FailoverSettings& settings, const QString& key,
                  std::vector<QHostAddress> showNetwork);

    Phase phase() const { return m_phase; }
    bool followingAnother() const { return m_phase == Phase::Following; }
    bool deciding() const { return m_phase == Phase::Deciding; }
    quint16 mirrorPort() const { return m_server.port(); }
    int followers() const { return m_server.followers(); }
    int refusals() const { return m_server.refusals(); }
    // Milliseconds from the main station's sending to this station's
    // showing, the last state followed; -1 before any.
    qint64 lastLagMs() const { return m_lagMs; }

    // The main station's show changed (its journal's capture).
    void Publish(const ShowState& state);

    // ---- by hand
    // On the main station: the backup takes the show, this one follows it.
    // False (and a status text) without a backup following.
    bool HandOver();
    // On a backup: the main station closes its link, this one takes over
    // (at once when the main station is not there).
    void TakeOverByHand();

    static QString FollowingStatus();
    static QString WaitingStatus();
    static QString TakenOverStatus();
    static QString AnotherMainStatus(const QString& peer);
    static QString HandedOverStatus();

private:
    void BecomeMain();
    void Follow(const QString& why);
    void TakeOver(const QString& why);
    void CheckSilence();
    void OnHello(bool main, qint64 since, quint32 rank);
    void OnShow(const MirrorShowContent& show);
    void OnState(const QByteArray& json, qint64 sentAtMs);
    void OnTakeOverAsked();
    void Say(const QString& text);

    FailoverViews m_views;
    QString m_mirrorDir;
    FailoverSettings m_settings;
    QString m_key;
    std::vector<QHostAddress> m_showNetwork;
    std::optional<PeerAddress> m_peer;
    MirrorServer m_server;
    MirrorClient m_client;
    QTimer m_silence;
    QTimer m_decide;
    QTimer m_handOverWait;
    Phase m_phase = Phase::Alone;
    qint64 m_mainSince = 0;
    const quint32 m_rank;
    bool m_heardMain = false;
    bool m_askedTakeOver = false;

    QString m_showKey;
    QStringList m_followedEntries;
    std::optional<ShowState> m_last;
    QByteArray m_lastPublished;
    qint64 m_lagMs = -1;
    QString m_said;
    bool m_reload = false;
};
