// Every file the station replaces, killed mid-write again and again: each
// file is always one whole version, never a part.
#include "SaveVersions.h"

#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <csignal>
#include <map>
#include <thread>

TEST(SaveUnderKill, AKillAtAnyMomentLeavesEveryFileWhole) {
    // What each file holds after each version, once the loop runs.
    TempDir reference;
    std::map<QString, std::array<QByteArray, 2>> versions;
    QElapsedTimer rounds;
    rounds.start();
    for (int round = 0; round < 4; ++round) {
        ASSERT_TRUE(WriteSaveLoopVersion(reference.path(), round % 2));
        const SaveLoopFiles files = SaveLoopPaths(reference.path());
        for (const QString& path : {files.config, files.playlist, files.script, files.journal}) {
            versions[QFileInfo(path).fileName()][size_t(round % 2)] = TempDir::read(path);
        }
    }
    // Kills fall anywhere in two rounds of writes, however fast this machine is.
    const qint64 windowUs = std::max<qint64>(rounds.nsecsElapsed() / 1000 / 2, 1000);
    for (const auto& [name, bytes] : versions) {
        ASSERT_NE(bytes[0], bytes[1]) << name.toStdString();
        ASSERT_NE(bytes[0].size(), bytes[1].size()) << name.toStdString();
    }

    TempDir home;
    QRandomGenerator random(24);
    constexpr int kKills = 40;
    std::map<QString, std::array<int, 2>> seen;
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess loop;
        loop.start(QStringLiteral(SHOW_SAVE_LOOP), {home.path()});
        ASSERT_TRUE(loop.waitForStarted(10000));
        QByteArray out;
        while (!out.contains("started") && loop.state() == QProcess::Running) {
            loop.waitForReadyRead(100);
            out += loop.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains("started")) << loop.readAllStandardError().data();
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(windowUs)));
        ::kill(static_cast<pid_t>(loop.processId()), SIGKILL);
        ASSERT_TRUE(loop.waitForFinished(10000));

        const SaveLoopFiles files = SaveLoopPaths(home.path());
        for (const QString& path : {files.config, files.playlist, files.script, files.journal}) {
            const QString name = QFileInfo(path).fileName();
            const QByteArray bytes = TempDir::read(path);
            const auto& expected = versions[name];
            const int version = bytes == expected[0] ? 0 : bytes == expected[1] ? 1 : -1;
            ASSERT_NE(version, -1)
                << name.toStdString() << " after kill " << kill << ": " << bytes.size() << " bytes";
            ++seen[name][size_t(version)];
        }
    }
    // The kills fell on both versions of every file, so they did land in the
    // middle of the writing.
    for (const auto& [name, counts] : seen) {
        EXPECT_GT(counts[0], 0) << name.toStdString();
        EXPECT_GT(counts[1], 0) << name.toStdString();
    }
}
