// The station as a process: one instance per session, and a terminating
// signal closes it like its close command.
#include "StationProcess.h"
#include "StationFixture.h"
#include "support/Wait.h"

#include "LiveTestSupport.h"

#include "core/SingleInstance.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <chrono>
#include <csignal>

class StationProcessTest : public StationFixture {
protected:
    // The real station on the offscreen platform, on loopback, with its own
    // home, desktop, lock folder and settings folders.
    void Launch(QProcess& station) {
        station.setProcessEnvironment(StationProcessEnvironment(home(), m_lockDir.path()));
        station.setProgram(QStringLiteral(STATION_EXECUTABLE));
        station.setArguments(StationArguments(home(), portOffset()));
        station.start();
        ASSERT_TRUE(station.waitForStarted(10000));
    }

    QString desktopEntry() const { return file(QStringLiteral("Desktop/舞台字幕机.desktop")); }

    // The station catches `signal` once its window exists (the watcher that
    // turns SIGTERM and SIGINT into a close is set up right after it); read
    // from the kernel's record of the process's caught signals.
    static bool Catches(const QProcess& station, int signal) {
        QFile status(QStringLiteral("/proc/%1/status").arg(station.processId()));
        if (!status.open(QIODevice::ReadOnly)) {
            return false;
        }
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("SigCgt:")) {
                const unsigned long long caught = line.mid(7).trimmed().toULongLong(nullptr, 16);
                return (caught >> (signal - 1)) & 1U;
            }
        }
        return false;
    }

    QTemporaryDir m_lockDir;
};

TEST_F(StationProcessTest, ASecondStartWhileTheFirstRunsExitsSilently) {
    SingleInstanceLock first(m_lockDir.path());
    ASSERT_TRUE(first.TryAcquire());
    QProcess second;
    Launch(second);
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    // It created nothing: no window, no shortcut, no settings.
    EXPECT_FALSE(QFileInfo::exists(desktopEntry()));
    EXPECT_FALSE(QFileInfo::exists(configPath()));
}

TEST_F(StationProcessTest, SigtermClosesTheStationLikeItsCloseCommand) {
    const QString script =
        WriteLines(QStringLiteral("script.txt"), {QStringLiteral("一"), QStringLiteral("二")});
    const QString playlist = WriteLines(QStringLiteral("show.lft"), {script});
    SettingsStore config;
    config.Play.LastOpenFile = playlist;
    config.Play.AutoPlayTimeFile = 33;
    WriteConfig(config);
    // Config.ini is rewritten at the close: make it old enough to tell.
    QFile(configPath())
        .setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime);

    QProcess station;
    Launch(station);
    ASSERT_EVENTUALLY(Catches(station, SIGTERM), 20000);
    ::kill(static_cast<pid_t>(station.processId()), SIGTERM);
    ASSERT_TRUE(station.waitForFinished(20000));
    EXPECT_EQ(station.exitStatus(), QProcess::NormalExit) << station.readAllStandardError().data();
    EXPECT_EQ(station.exitCode(), 0);
    const QFileInfo written(configPath());
    EXPECT_GT(written.lastModified(), QDateTime::currentDateTime().addSecs(-60));
    const SettingsStore saved = ReadConfig();
    EXPECT_EQ(saved.Play.LastOpenFile, playlist);
    EXPECT_EQ(saved.Play.AutoPlayTimeFile, 33);

    // A run on loopback is a rehearsal: it leaves no shortcut that would
    // start the station on the real network.
    EXPECT_FALSE(QFileInfo::exists(desktopEntry()));

    // The lock went with it: the next start runs and SIGINT closes it too.
    QProcess again;
    Launch(again);
    ASSERT_EVENTUALLY(Catches(again, SIGINT), 20000);
    ::kill(static_cast<pid_t>(again.processId()), SIGINT);
    ASSERT_TRUE(again.waitForFinished(20000));
    EXPECT_EQ(again.exitCode(), 0);
}
