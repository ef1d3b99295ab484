// A station killed with SIGKILL mid-show, started again on the same home:
// the line goes back to the card unasked, a lyric plays on where it would be
// by now, unsaved edits are offered. The killed station is a real process
// (the window driven into the show by station_show_driver); the card is
// simulated in this process, on loopback.
#include "OneCardStation.h"
#include "StationProcess.h"
#include "support/Wait.h"

#include "LiveTestSupport.h"
#include "TestTracks.h"

#include "CardBank.h"
#include "show/ShowSession.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>

#include <csignal>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

class ShowRecoveryProcessTest : public OneCardStation {
protected:
    void TearDown() override {
        for (QProcess* process : {&m_driver, &m_station}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(10000);
            }
        }
        OneCardStation::TearDown();
    }

    void WriteShow(const QStringList& entries, bool autoCaption = false) {
        SettingsStore store = OneCardConfig(WriteLines(QStringLiteral("show.lft"), entries));
        store.Play.AutoPlayCaption = autoCaption;
        WriteConfig(store);
    }

    // The window in a process of its own, driven into `scenario`; returns
    // what it printed after "ready".
    QString Drive(const QString& scenario) {
        m_driver.setProcessEnvironment(StationProcessEnvironment(home(), m_lockDir.path()));
        m_driver.setProgram(QStringLiteral(STATION_SHOW_DRIVER));
        m_driver.setArguments({home(), QString::number(portOffset()), scenario});
        m_driver.start();
        EXPECT_TRUE(m_driver.waitForStarted(10000));
        // Read at once when it comes: the lyric's position is only as good
        // as the moment it is read.
        QByteArray out;
        QElapsedTimer waited;
        waited.start();
        while (!out.contains('\n') && m_driver.state() != QProcess::NotRunning &&
               waited.elapsed() < 60000) {
            m_driver.waitForReadyRead(100);
            out += m_driver.readAllStandardOutput();
        }
        EXPECT_TRUE(out.startsWith("ready"))
            << out.data() << m_driver.readAllStandardError().data();
        return QString::fromLatin1(out.mid(5).trimmed());
    }
    void KillDriver() {
        ::kill(static_cast<pid_t>(m_driver.processId()), SIGKILL);
        ASSERT_TRUE(m_driver.waitForFinished(10000));
        EXPECT_EQ(m_driver.exitStatus(), QProcess::CrashExit);
    }
    std::optional<ShowState> Journal() const {
        return ShowJournal::ReadJournal(ShowSession::JournalPath(file(QStringLiteral("data"))));
    }

    int Swaps() { return m_bank->Card(m_card.mac)->swaps; }

    QTemporaryDir m_lockDir;
    QProcess m_driver;
    QProcess m_station;
};

TEST_F(ShowRecoveryProcessTest, AKilledStationSendsItsLineAgainWhenItStartsWithNoQuestion) {
    WriteShow({WriteLines(QStringLiteral("script.txt"),
                          {U("第一幕"), U("第二幕"), U("第三幕"), U("第四幕")})});
    Drive(QStringLiteral("line3"));
    const QImage third = Shown();
    ASSERT_FALSE(third.isNull());
    KillDriver();
    const int swaps = Swaps();

    // The station itself, as the operator starts it again.
    QElapsedTimer sinceStart;
    m_station.setProcessEnvironment(StationProcessEnvironment(home(), m_lockDir.path()));
    m_station.setProgram(QStringLiteral(STATION_EXECUTABLE));
    m_station.setArguments(StationArguments(home(), portOffset()));
    sinceStart.start();
    m_station.start();
    ASSERT_TRUE(m_station.waitForStarted(10000));
    ASSERT_EVENTUALLY(Swaps() > swaps, 30000);
    ASSERT_EVENTUALLY_EQ(Shown(), third, 30000);
    std::printf("start to the line on the card, as a test sees it: %lld ms\n",
                static_cast<long long>(sinceStart.elapsed()));

    // The station stands on that entry and line with the link open, and says so
    // in its journal; a signal then ends it cleanly.
    ASSERT_EVENTUALLY(Journal() && Journal()->linkOpen && Journal()->line == 2 &&
                          Journal()->entry == 0 && !Journal()->cleanExit,
                      30000);
    ::kill(static_cast<pid_t>(m_station.processId()), SIGTERM);
    ASSERT_TRUE(m_station.waitForFinished(30000));
    EXPECT_EQ(m_station.exitCode(), 0) << m_station.readAllStandardError().data();
    ASSERT_TRUE(Journal().has_value());
    EXPECT_TRUE(Journal()->cleanExit);
}

TEST_F(ShowRecoveryProcessTest, AKilledLyricPlaysOnWhereItWouldBeByNow) {
    const QString lyric =
        WriteLines(QStringLiteral("song.lrc"),
                   {U("[00:01.00]第一句"), U("[00:03.00]第二句"), U("[00:06.00]第三句"),
                    U("[00:08.00]第四句"), U("[00:10.00]第五句"), U("[00:12.00]第六句")});
    ToneTrack tone;
    tone.seconds = 20.0;
    tone.lameOptions = {QStringLiteral("-b"), QStringLiteral("32")};
    MakeToneMp3(file(QStringLiteral("song.mp3")), tone);
    WriteShow({lyric}, true);

    const qint64 atReady = Drive(QStringLiteral("lyric")).toLongLong();
    QElapsedTimer sinceReady;
    sinceReady.start();
    ASSERT_GE(atReady, 5000);
    KillDriver();
    // Two seconds away, as an operator restarting the station would be.
    QTest::qWait(2000);

    TMainForm& w = Start();
    ASSERT_EVENTUALLY_EQ(w.player().state(), PlayerState::Playing, 10000);
    const qint64 expected = atReady + sinceReady.elapsed();
    const qint64 position = w.player().PositionMs();
    std::printf("track position after the recovery: %lld ms, where it would be: %lld ms\n",
                static_cast<long long>(position), static_cast<long long>(expected));
    EXPECT_NEAR(double(position), double(expected), 300.0);
    EXPECT_TRUE(w.live().IsConnected());
    // About 7 s into the song: its third line, which came due while the
    // station was away.
    EXPECT_EQ(w.player().selectedLine(), 2);
    EXPECT_EQ(w.statusText(2), U("已从异常退出中恢复：第 3 句"));
}

TEST_F(ShowRecoveryProcessTest, EditsOfAKilledStationAreOfferedAndRestoredOnYes) {
    const QString script =
        WriteLines(QStringLiteral("script.txt"), {U("第一幕"), U("第二幕"), U("第三幕")});
    WriteShow({script});
    const QByteArray onDisk = TempDir::read(script);
    Drive(QStringLiteral("edit"));
    KillDriver();

    answers().yesNo.push_back(true);
    TMainForm& w = Start();
    ASSERT_EVENTUALLY(w.showSession().startUpFinished(), 10000);
    EXPECT_EQ(answers().shown, QStringList{U("ask:发现未保存的字幕修改，是否恢复？")});
    EXPECT_EQ(w.document().document().lines,
              QStringList({U("开演前"), U("第一幕"), U("第二幕"), U("第三幕")}));
    EXPECT_TRUE(w.document().document().modified);
    EXPECT_EQ(find<QTabWidget>(QStringLiteral("PageControl1"))->currentIndex(), 1);
    EXPECT_EQ(TempDir::read(script), onDisk);
    answers().yesNo.push_back(false); // the close asks about them again
}
