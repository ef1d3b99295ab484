// Two stations' roles in one process, over loopback: the mirror link with
// its proof and its refusals, a backup that follows and takes over, a
// station told to be main that finds another one, and the hand-over by hand.
// The stations' windows are stand-ins that record what they were told.
#include "show/Failover.h"

#include "support/TempDir.h"
#include "support/Wait.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kKey = QStringLiteral("2468");

quint16 FreeTcpPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QString Address(quint16 port) {
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

ShowState StateAt(qsizetype line, bool linkOpen = true) {
    ShowState state;
    state.entry = 0;
    state.line = line;
    state.lineText = QStringLiteral("第%1句").arg(line + 1);
    state.linkOpen = linkOpen;
    state.brightness = 7;
    return state;
}

// One station: the failover and what its window was told, in order.
struct Station {
    explicit Station(const QString& dataDir) {
        FailoverViews views;
        views.entries = [this] { return entries; };
        views.current = [this] { return current; };
        views.follow = [this](const ShowState& state, const QStringList& placed, bool) {
            followed = state;
            followedEntries = placed;
            // As the window's journal does: it records what it shows, its
            // own link closed.
            ShowState own = state;
            own.linkOpen = false;
            failover->Publish(own);
        };
        views.takeOver = [this](const ShowState& last) {
            events << QStringLiteral("takeOver:%1").arg(last.line);
            current = last;
            linkOpen = last.linkOpen;
        };
        views.release = [this] {
            events << QStringLiteral("release");
            linkOpen = false;
        };
        views.following = [this](bool on) { following = on; };
        views.status = [this](const QString& text) { status = text; };
        views.alert = [this] { ++alerts; };
        views.monitor = [this](const QString& line) { monitor << line; };
        views.decided = [this] { ++decided; };
        failover = std::make_unique<Failover>(std::move(views), dataDir);
    }
    QString Start(StationRole role, const QString& peer, quint16 mirrorPort,
                  const QString& key = kKey) {
        FailoverSettings settings;
        settings.role = role;
        settings.peer = peer;
        settings.mirrorPort = mirrorPort;
        return failover->Start(settings, key, {QHostAddress(QHostAddress::LocalHost)});
    }
    void Show(qsizetype line) {
        current = StateAt(line, linkOpen);
        failover->Publish(current);
    }

    QStringList entries;
    ShowState current;
    std::optional<ShowState> followed;
    QStringList followedEntries;
    QStringList events;
    QStringList monitor;
    QString status;
    bool following = false;
    bool linkOpen = true;
    int alerts = 0;
    int decided = 0;
    std::unique_ptr<Failover> failover;
};

class FailoverTest : public ::testing::Test {
protected:
    TempDir m_dir;
    const quint16 m_mainPort = FreeTcpPort();
    const quint16 m_backupPort = FreeTcpPort();
};

} // namespace

TEST_F(FailoverTest, ABackupMirrorsTheShowAndTakesOverWhenTheMainFallsSilent) {
    auto main = std::make_unique<Station>(m_dir.file(QStringLiteral("main")));
    main->entries = {m_dir.write(QStringLiteral("script.txt"), QByteArray("a\r\nb\r\nc\r\n"))};
    main->Show(1); // before the backup is there: it gets it when it comes
    ASSERT_EQ(main->Start(StationRole::Main, QString(), m_mainPort), QString());
    EXPECT_EQ(main->failover->phase(), Failover::Phase::Main);
    main->Show(1);

    Station backup(m_dir.file(QStringLiteral("backup")));
    ASSERT_EQ(backup.Start(StationRole::Backup, Address(m_mainPort), m_backupPort), QString());
    EXPECT_TRUE(backup.following);
    ASSERT_EVENTUALLY(backup.followed && backup.followed->line == 1, 20000);
    EXPECT_EQ(backup.status, Failover::FollowingStatus());
    // The script came over the wire: the backup needs no shared disk.
    ASSERT_EQ(backup.followedEntries.size(), 1);
    EXPECT_EQ(TempDir::read(backup.followedEntries[0]), QByteArray("a\r\nb\r\nc\r\n"));
    EXPECT_TRUE(backup.followedEntries[0].startsWith(m_dir.file(QStringLiteral("backup"))));

    main->Show(3);
    ASSERT_EVENTUALLY(backup.followed->line == 3, 20000);
    EXPECT_GE(backup.failover->lastLagMs(), 0);
    // The heartbeat keeps a quiet main station alive.
    QTest::qWait(1500);
    EXPECT_TRUE(backup.events.isEmpty());

    main.reset(); // killed
    ASSERT_EVENTUALLY(backup.failover->phase() == Failover::Phase::Main, 20000);
    EXPECT_EQ(backup.events, QStringList{QStringLiteral("takeOver:3")});
    EXPECT_TRUE(backup.linkOpen);
    EXPECT_FALSE(backup.following);
    EXPECT_EQ(backup.status, Failover::TakenOverStatus());
    EXPECT_EQ(backup.alerts, 1);

    // The old main station, back with its peer's address: it finds the new
    // main and follows it, and sees the next line.
    Station old(m_dir.file(QStringLiteral("old")));
    ASSERT_EQ(old.Start(StationRole::Main, Address(m_backupPort), m_mainPort), QString());
    ASSERT_EVENTUALLY(old.failover->followingAnother(), 20000);
    EXPECT_EQ(old.decided, 1);
    EXPECT_EQ(old.status, Failover::AnotherMainStatus(Address(m_backupPort)));
    EXPECT_TRUE(old.events.isEmpty());
    backup.entries = {backup.followedEntries};
    backup.Show(4);
    ASSERT_EVENTUALLY(old.followed && old.followed->line == 4, 20000);
    EXPECT_TRUE(old.events.isEmpty());
}

TEST_F(FailoverTest, AStationToldToBeMainStaysBackupWhenItsPeerAlreadyIs) {
    Station first(m_dir.file(QStringLiteral("first")));
    ASSERT_EQ(first.Start(StationRole::Main, Address(m_backupPort), m_mainPort), QString());
    // Nobody at the peer's address: main, and the rest of the start-up runs.
    ASSERT_EVENTUALLY(first.failover->phase() == Failover::Phase::Main, 20000);
    EXPECT_EQ(first.decided, 1);
    first.Show(2);

    Station second(m_dir.file(QStringLiteral("second")));
    ASSERT_EQ(second.Start(StationRole::Main, Address(m_mainPort), m_backupPort), QString());
    EXPECT_TRUE(second.failover->deciding());
    ASSERT_EVENTUALLY(second.failover->followingAnother(), 20000);
    EXPECT_EQ(second.decided, 1);
    EXPECT_TRUE(second.following);
    EXPECT_EQ(second.status, Failover::AnotherMainStatus(Address(m_mainPort)));
    EXPECT_TRUE(second.events.isEmpty()); // it never drove the cards
    ASSERT_EVENTUALLY(second.followed && second.followed->line == 2, 20000);
    // And the first station stays main.
    QTest::qWait(500);
    EXPECT_EQ(first.failover->phase(), Failover::Phase::Main);
    EXPECT_TRUE(first.events.isEmpty());
}

TEST_F(FailoverTest, TheShowIsHandedOverByHandInBothDirections) {
    Station a(m_dir.file(QStringLiteral("a")));
    Station b(m_dir.file(QStringLiteral("b")));
    ASSERT_EQ(a.Start(StationRole::Main, Address(m_backupPort), m_mainPort), QString());
    ASSERT_EVENTUALLY(a.failover->phase() == Failover::Phase::Main, 20000);
    ASSERT_EQ(b.Start(StationRole::Backup, Address(m_mainPort), m_backupPort), QString());
    a.Show(4);
    ASSERT_EVENTUALLY(b.followed && b.followed->line == 4, 20000);

    // The backup asks: the main station closes its link first, then gives.
    b.failover->TakeOverByHand();
    ASSERT_EVENTUALLY(b.failover->phase() == Failover::Phase::Main, 20000);
    EXPECT_EQ(a.events, QStringList{QStringLiteral("release")});
    EXPECT_EQ(b.events, QStringList{QStringLiteral("takeOver:4")});
    EXPECT_TRUE(b.linkOpen);
    EXPECT_TRUE(a.failover->followingAnother());
    EXPECT_EQ(a.status, Failover::HandedOverStatus());

    // The new main station gives it back from its own menu.
    ASSERT_EVENTUALLY(b.failover->followers() == 1, 20000);
    b.Show(5);
    ASSERT_EVENTUALLY(a.followed && a.followed->line == 5, 20000);
    EXPECT_TRUE(b.failover->HandOver());
    EXPECT_EQ(b.events.last(), QStringLiteral("release"));
    ASSERT_EVENTUALLY(a.failover->phase() == Failover::Phase::Main, 20000);
    EXPECT_EQ(a.events.last(), QStringLiteral("takeOver:5"));
    EXPECT_TRUE(a.linkOpen);
    EXPECT_FALSE(b.linkOpen);
    EXPECT_TRUE(b.failover->followingAnother());
}

TEST_F(FailoverTest, AHandOverWithoutABackupIsRefused) {
    Station alone(m_dir.file(QStringLiteral("alone")));
    ASSERT_EQ(alone.Start(StationRole::Main, QString(), m_mainPort), QString());
    EXPECT_FALSE(alone.failover->HandOver());
    EXPECT_TRUE(alone.events.isEmpty());
    EXPECT_EQ(alone.failover->phase(), Failover::Phase::Main);
}

TEST_F(FailoverTest, AWrongKeyIsRefusedOnBothSidesAndNothingIsFollowed) {
    Station main(m_dir.file(QStringLiteral("main")));
    ASSERT_EQ(main.Start(StationRole::Main, QString(), m_mainPort), QString());
    main.Show(2);
    Station intruder(m_dir.file(QStringLiteral("intruder")));
    ASSERT_EQ(intruder.Start(StationRole::Backup, Address(m_mainPort), 0, QStringLiteral("1357")),
              QString());
    ASSERT_EVENTUALLY(main.failover->refusals() >= 1, 20000);
    ASSERT_EVENTUALLY(!intruder.monitor.isEmpty(), 20000);
    EXPECT_FALSE(intruder.followed.has_value());
    EXPECT_EQ(main.failover->followers(), 0);
    // Never heard, so never a take-over either.
    QTest::qWait(1500);
    EXPECT_TRUE(intruder.events.isEmpty());
    EXPECT_TRUE(intruder.failover->followingAnother());
}

TEST_F(FailoverTest, HostileBytesAtTheMirrorPortAreRefusedAndTheShowGoesOn) {
    Station main(m_dir.file(QStringLiteral("main")));
    ASSERT_EQ(main.Start(StationRole::Main, QString(), m_mainPort), QString());
    main.Show(1);
    QByteArray huge(4, '\0');
    qToBigEndian<quint32>(kMaxMirrorMessage + 1, huge.data());
    const QByteArray hostile[] = {
        QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n"), // not our framing at all
        huge,                                            // a length over the cap
        QByteArray(8000, 'A'),                           // too much before any proof
        EncodeMirrorMessage(QJsonObject{{QStringLiteral("t"), QStringLiteral("state")}}),
    };
    int refused = 0;
    for (const QByteArray& bytes : hostile) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_mainPort);
        ASSERT_TRUE(socket.waitForConnected(10000));
        socket.write(bytes);
        ++refused;
        ASSERT_EVENTUALLY(main.failover->refusals() >= refused, 20000);
        ASSERT_EVENTUALLY(socket.state() == QAbstractSocket::UnconnectedState, 20000);
    }
    EXPECT_EQ(main.monitor.size(), refused);
    // A real backup is still served.
    Station backup(m_dir.file(QStringLiteral("backup")));
    ASSERT_EQ(backup.Start(StationRole::Backup, Address(m_mainPort), 0), QString());
    ASSERT_EVENTUALLY(backup.followed && backup.followed->line == 1, 20000);
}

TEST(FailoverSettingsTest, TheOptionsParseAndBadValuesAreNamed) {
    const FailoverArgumentsParse good = ParseFailoverArguments(
        {QStringLiteral("--role"), QStringLiteral("backup"),
         QStringLiteral("--main-address=127.0.0.1:7001"), QStringLiteral("--mirror-port"),
         QStringLiteral("7002"), QStringLiteral("show.lft")});
    ASSERT_TRUE(good.ok()) << good.error.toStdString();
    EXPECT_EQ(good.overrides.role, StationRole::Backup);
    EXPECT_EQ(good.overrides.peer, QStringLiteral("127.0.0.1:7001"));
    EXPECT_EQ(good.overrides.mirrorPort, 7002);
    EXPECT_EQ(good.remaining, QStringList{QStringLiteral("show.lft")});

    const struct {
        QStringList arguments;
        const char* named;
    } bad[] = {
        {{QStringLiteral("--role"), QStringLiteral("boss")}, "--role"},
        {{QStringLiteral("--role")}, "--role"},
        {{QStringLiteral("--main-address"), QStringLiteral("localhost:7001")}, "--main-address"},
        {{QStringLiteral("--main-address"), QStringLiteral("127.0.0.1:70001")}, "--main-address"},
        {{QStringLiteral("--main-address"), QStringLiteral("127.0.0.1")}, "--main-address"},
        {{QStringLiteral("--mirror-port"), QStringLiteral("-1")}, "--mirror-port"},
    };
    for (const auto& c : bad) {
        const FailoverArgumentsParse parse = ParseFailoverArguments(c.arguments);
        EXPECT_TRUE(parse.error.startsWith(QLatin1String(c.named))) << parse.error.toStdString();
    }

    // A backup without its main station's address cannot follow anything.
    FailoverSettings backup;
    backup.role = StationRole::Backup;
    backup.mirrorPort = 7002;
    EXPECT_FALSE(CheckFailoverSettings(backup).isEmpty());
    // A peer is one other station: no address that means every one or none.
    for (const char* peer : {"0.0.0.0:7001", "255.255.255.255:7001", "224.0.0.1:7001"}) {
        backup.peer = QString::fromLatin1(peer);
        EXPECT_TRUE(CheckFailoverSettings(backup).contains(backup.peer)) << peer;
    }
    backup.peer = QStringLiteral("127.0.0.1:7001");
    EXPECT_EQ(CheckFailoverSettings(backup), QString());

    TempDir dir;
    const QString config = dir.file(QStringLiteral("Config.ini"));
    FailoverSettings stored;
    stored.role = StationRole::Backup;
    stored.peer = QStringLiteral("10.0.0.2:7001");
    stored.mirrorPort = 7002;
    stored.silenceMs = 1500;
    stored.key = QStringLiteral("shared");
    ASSERT_TRUE(SaveFailoverSettings(config, stored).ok);
    EXPECT_EQ(LoadFailoverSettings(config), stored);
    EXPECT_EQ(LoadFailoverSettings(dir.file(QStringLiteral("none.ini"))), FailoverSettings());
}

TEST_F(FailoverTest, TwoStationsToldToBeMainAtOnceEndWithOneDrivingTheCards) {
    // Both ask before either serves: both find nobody and become main; then
    // each sees the other, and the one that became main later steps down.
    Station a(m_dir.file(QStringLiteral("a")));
    Station b(m_dir.file(QStringLiteral("b")));
    ASSERT_EQ(a.Start(StationRole::Main, Address(m_backupPort), m_mainPort), QString());
    ASSERT_EQ(b.Start(StationRole::Main, Address(m_mainPort), m_backupPort), QString());
    ASSERT_EVENTUALLY(a.failover->followingAnother() != b.failover->followingAnother(), 20000);
    Station& stayed = a.failover->followingAnother() ? b : a;
    Station& stepped = a.failover->followingAnother() ? a : b;
    EXPECT_EQ(stepped.events, QStringList{QStringLiteral("release")});
    EXPECT_TRUE(stayed.events.isEmpty());
    // It stays that way, and the one that stepped down follows.
    stayed.Show(2);
    ASSERT_EVENTUALLY(stepped.followed && stepped.followed->line == 2, 20000);
    QTest::qWait(1500);
    EXPECT_EQ(stayed.failover->phase(), Failover::Phase::Main);
    EXPECT_TRUE(stepped.failover->followingAnother());
    EXPECT_EQ(stepped.events.size(), 1);
}
