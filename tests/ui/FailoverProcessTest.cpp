// Two real stations on one machine driving the same simulated card: a main
// station killed mid-show and the backup that takes over by itself, and two
// stations both told to be main. Each station has its own home and its own
// loopback address (127.0.0.1 and 127.0.0.2), so the card sees who sends;
// the test drives them over OSC and reads what each one journals.
#include "OneCardStation.h"
#include "StationPair.h"
#include "support/Wait.h"

#include "show/Failover.h"
#include "show/ShowSession.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>

#include <csignal>
#include <cstdio>

class FailoverProcessTest : public OneCardStation {
protected:
    void SetUp() override {
        OneCardStation::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        m_bank->SetKeptLogLines(100000);
        const QString script = WriteLines(QStringLiteral("script.txt"),
                                          {QStringLiteral("第一句"), QStringLiteral("第二句"),
                                           QStringLiteral("第三句"), QStringLiteral("第四句"),
                                           QStringLiteral("第五句"), QStringLiteral("第六句")});
        WriteConfig(OneCardConfig(WriteLines(QStringLiteral("show.lft"), {script}), true));
        // The backup has the same screens and cards, and nothing of the show:
        // that comes from the main station.
        SettingsStore backup = OneCardConfig(QString(), true);
        ASSERT_TRUE(SaveConfig(backup, m_backupHome.file(QStringLiteral("Config.ini"))).ok);

        m_a.home = home();
        m_a.address = kFirst;
        m_b.home = m_backupHome.path();
        m_b.address = kSecond;
        for (StationRun* run : {&m_a, &m_b}) {
            run->oscPort = FreeUdpPort(run->address);
            run->mirrorPort = FreeTcpPort(run->address);
        }
        m_a.peer = &m_b;
        m_b.peer = &m_a;
    }
    void TearDown() override {
        for (StationRun* run : {&m_a, &m_b}) {
            if (run->process.state() != QProcess::NotRunning) {
                run->process.kill();
                run->process.waitForFinished(10000);
            }
        }
        OneCardStation::TearDown();
    }

    int Swaps() const { return card().swaps; }
    int HeardFrom(const QHostAddress& address) const { return DatagramsFrom(*m_bank, address); }

    // The main station connected and line 4 on the card; the backup mirrors
    // it. Returns the card's picture of line 4.
    QImage MainShowsLineFour() {
        EXPECT_TRUE(m_a.Start(portOffset(), QStringLiteral("main")));
        EXPECT_TRUE(m_b.Start(portOffset(), QStringLiteral("backup")));
        // OSC datagrams sent before the station listens are lost: send until
        // the station says it did it.
        EXPECT_TRUE(m_a.ConnectByOsc(60000)) << m_a.Errors().toStdString();
        EXPECT_TRUE(WaitUntil([&] { return Swaps() > 0; }, 30000));
        const QImage blank = Shown();
        m_a.Send(Osc("/subtitle/go", 4));
        EXPECT_TRUE(WaitUntil([&] { return m_a.Shows(3, true); }, 30000));
        EXPECT_TRUE(WaitUntil([&] { return !Shown().isNull() && Shown() != blank; }, 30000));
        // The backup follows without a link of its own.
        EXPECT_TRUE(WaitUntil([&] { return m_b.Shows(3, false); }, 30000))
            << m_b.Errors().toStdString();
        EXPECT_EQ(HeardFrom(kSecond), 0);
        return Shown();
    }

    TempDir m_backupHome;
    StationRun m_a;
    StationRun m_b;
};

TEST_F(FailoverProcessTest, TheBackupTakesOverAKilledMainAndTheOldMainComesBackAsBackup) {
    const QImage fourth = MainShowsLineFour();
    ASSERT_FALSE(HasFailure());
    EXPECT_TRUE(m_b.Errors().contains(Failover::FollowingStatus())) << m_b.Errors().toStdString();
    const int swaps = Swaps();

    QElapsedTimer sinceKill;
    sinceKill.start();
    ASSERT_TRUE(m_a.Kill(SIGKILL));
    // Line 4 again, sent by the backup.
    ASSERT_EVENTUALLY(Swaps() > swaps && HeardFrom(kSecond) > 0 && Shown() == fourth, 30000)
        << "swaps " << Swaps() << " (before " << swaps << "), from the backup "
        << HeardFrom(kSecond) << ", same picture " << (Shown() == fourth) << ", backup link "
        << (m_b.Journal() ? m_b.Journal()->linkOpen : false) << " line "
        << (m_b.Journal() ? m_b.Journal()->line : -9) << "\n"
        << m_bank->Log().mid(m_bank->Log().size() - 5).join(QLatin1Char('\n')).toStdString() << "\n"
        << m_b.Errors().toStdString();
    const qint64 killToLine = sinceKill.elapsed();
    std::printf("kill to line 4 on the card from the backup: %lld ms\n",
                static_cast<long long>(killToLine));
    // The goal is 1.5 s; a loaded machine may take longer, so only a bound
    // that shows the take-over came by itself and not by some later retry.
    EXPECT_LT(killToLine, 10000);
    ASSERT_EVENTUALLY(m_b.Errors().contains(Failover::TakenOverStatus()), 10000);
    ASSERT_EVENTUALLY(m_b.Shows(3, true), 10000)
        << "line " << (m_b.Journal() ? m_b.Journal()->line : -9) << " link "
        << (m_b.Journal() ? m_b.Journal()->linkOpen : false);

    // The old main station starts again as it was told before: it finds the
    // new main station and follows it, without a word to the card, though its
    // journal says it had the link open when it was killed.
    const int fromFirst = HeardFrom(kFirst);
    ASSERT_TRUE(m_a.Start(portOffset(), QStringLiteral("main")));
    ASSERT_EVENTUALLY(m_a.Errors().contains(Failover::AnotherMainStatus(
                          QStringLiteral("%1:%2").arg(kSecond.toString()).arg(m_b.mirrorPort))),
                      30000);
    ASSERT_EVENTUALLY(m_a.Shows(3, false), 30000);

    // The new main station's Enter: the card follows it, the old main mirrors it.
    m_b.Send(Osc("/subtitle/next"));
    ASSERT_EVENTUALLY(m_b.Shows(4, true), 30000);
    ASSERT_EVENTUALLY(!Shown().isNull() && Shown() != fourth, 30000);
    ASSERT_EVENTUALLY(m_a.Shows(4, false), 30000);
    EXPECT_EQ(HeardFrom(kFirst), fromFirst);
}

TEST_F(FailoverProcessTest, ASecondStationToldToBeMainStaysBackupAndSaysWhy) {
    ASSERT_TRUE(m_a.Start(portOffset(), QStringLiteral("main")));
    ASSERT_TRUE(m_a.ConnectByOsc(60000)) << m_a.Errors().toStdString();
    m_a.Send(Osc("/subtitle/go", 2));
    ASSERT_EVENTUALLY(m_a.Shows(1, true), 30000);

    // Told to be main too, with the same card: it asks its peer first.
    ASSERT_TRUE(m_b.Start(portOffset(), QStringLiteral("main")));
    const QString why = Failover::AnotherMainStatus(
        QStringLiteral("%1:%2").arg(kFirst.toString()).arg(m_a.mirrorPort));
    ASSERT_EVENTUALLY(m_b.Errors().contains(why), 30000) << m_b.Errors().toStdString();
    ASSERT_EVENTUALLY(m_b.Shows(1, false), 30000);
    // Its remote refuses too, and nothing it does reaches the card.
    m_b.Send(Osc("/subtitle/connect"));
    m_b.Send(Osc("/subtitle/next"));
    QTest::qWait(2000);
    EXPECT_TRUE(m_b.Shows(1, false));
    EXPECT_EQ(HeardFrom(kSecond), 0);
    EXPECT_TRUE(m_a.Shows(1, true));
}

TEST_F(FailoverProcessTest, TheOperatorHandsTheShowOverFromTheMenuAndTakesItBack) {
    // This station is a window here; its backup a process.
    StationOptions options = Options();
    options.remote.pin = kPairPin;
    options.failover.role = StationRole::Main;
    options.failover.peer = m_b.mirrorAddress();
    options.failover.mirrorPort = m_a.mirrorPort;
    TMainForm& w = Start(options);
    ASSERT_EVENTUALLY(w.failover().phase() == Failover::Phase::Main, 30000);
    ASSERT_TRUE(m_b.Start(portOffset(), QStringLiteral("backup")));
    w.live().Connect();
    ASSERT_TRUE(w.live().IsConnected());
    w.player().SelectLine(2);
    ASSERT_EVENTUALLY(m_b.Shows(2, false), 30000) << m_b.Errors().toStdString();
    ASSERT_EVENTUALLY(w.failover().followers() == 1, 30000);
    auto* role = find<QLabel>(QStringLiteral("RoleStatus"));
    EXPECT_EQ(role->text(), QStringLiteral("主机"));

    find<QAction>(QStringLiteral("MenuHandOver"))->trigger();
    EXPECT_FALSE(w.live().IsConnected());
    ASSERT_EVENTUALLY(m_b.Shows(2, true), 30000) << m_b.Errors().toStdString();
    ASSERT_EVENTUALLY(HeardFrom(kSecond) > 0, 30000);
    EXPECT_TRUE(w.failover().followingAnother());
    EXPECT_EQ(role->text(), Failover::FollowingStatus());
    EXPECT_FALSE(find<QWidget>(QStringLiteral("centralwidget"))->isEnabled());
    EXPECT_FALSE(find<QAction>(QStringLiteral("MenuHandOver"))->isVisible());

    // The new main station steps; this window follows without sending.
    const int fromHere = HeardFrom(kFirst);
    m_b.Send(Osc("/subtitle/next"));
    ASSERT_EVENTUALLY(w.player().selectedLine() == 3, 30000);
    EXPECT_FALSE(w.live().IsConnected());
    // Keys and remotes do nothing on a backup.
    QTest::keyClick(w.windowHandle(), Qt::Key_Space);
    EXPECT_EQ(w.player().selectedLine(), 3);
    EXPECT_EQ(HeardFrom(kFirst), fromHere);

    // And back: the other station closes its link, this one connects.
    find<QAction>(QStringLiteral("MenuTakeOver"))->trigger();
    ASSERT_EVENTUALLY(w.live().IsConnected(), 30000);
    ASSERT_EVENTUALLY(m_b.Shows(3, false), 30000);
    EXPECT_EQ(w.player().selectedLine(), 3);
    EXPECT_TRUE(find<QWidget>(QStringLiteral("centralwidget"))->isEnabled());
    EXPECT_EQ(role->text(), QStringLiteral("主机"));
    EXPECT_GT(HeardFrom(kFirst), fromHere);
    // The list it runs now came from the other station: the close asks
    // whether to keep it.
    answers().yesNo.push_back(false);
}
