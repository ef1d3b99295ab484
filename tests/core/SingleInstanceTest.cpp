#include "core/SingleInstance.h"

#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// Another station: a forked copy of this process that takes the lock in
// `directory` and then waits to be killed, the way a running station keeps it.
class OtherStation {
public:
    explicit OtherStation(const QString& directory) {
        int fds[2];
        if (::pipe(fds) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            SingleInstanceLock lock(directory);
            const char answer = lock.TryAcquire() ? '1' : '0';
            [[maybe_unused]] const ssize_t n = ::write(fds[1], &answer, 1);
            for (;;) {
                ::pause();
            }
        }
        ::close(fds[1]);
        char answer = 0;
        if (m_pid > 0 && ::read(fds[0], &answer, 1) == 1) {
            m_acquired = answer == '1';
        }
        ::close(fds[0]);
    }
    ~OtherStation() { Crash(); }

    bool acquired() const { return m_acquired; }

    // SIGKILL gives it no chance to remove its file; reaping it makes its PID
    // stop existing (a zombie would still answer kill(pid, 0)).
    void Crash() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    bool m_acquired = false;
};

void Backdate(const QString& path, int seconds) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds),
                                 QFileDevice::FileModificationTime));
}

// A copy of this program that runs but holds no lock.
class SleepingCopy {
public:
    SleepingCopy() : m_pid(::fork()) {
        if (m_pid == 0) {
            for (;;) {
                ::pause();
            }
        }
    }
    ~SleepingCopy() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid;
};

// The lines QLockFile writes: PID, program name, host name, machine id, boot id.
QByteArray LockFileContent(qint64 pid) {
    return QByteArray::number(pid) + '\n' +
           QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + '\n' +
           QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n' +
           QSysInfo::bootUniqueId() + '\n';
}

// The PID of a process that has run and been reaped.
pid_t ExitedPid() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

} // namespace

TEST(SingleInstance, OneHolderPerDirectoryUntilItIsDestroyed) {
    TempDir dir;
    QString path;
    {
        SingleInstanceLock first(dir.path());
        path = first.path();
        EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
        EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QLatin1String("RunOnlyOneTessaly")));
        ASSERT_TRUE(first.TryAcquire());
        EXPECT_TRUE(QFileInfo::exists(path));
        EXPECT_TRUE(first.TryAcquire()) << "asking again keeps the lock";

        SingleInstanceLock second(dir.path());
        EXPECT_EQ(second.path(), path);
        EXPECT_FALSE(second.TryAcquire());
    }
    EXPECT_FALSE(QFileInfo::exists(path)) << "the destructor releases the lock";
    SingleInstanceLock third(dir.path());
    EXPECT_TRUE(third.TryAcquire());
}

TEST(SingleInstance, DefaultDirectoryIsTheTemporaryDirectory) {
    EXPECT_EQ(DefaultLockDirectory(), QDir::tempPath());
    EXPECT_EQ(QFileInfo(SingleInstanceLock().path()).absolutePath(),
              QFileInfo(QDir::tempPath()).absoluteFilePath());
}

TEST(SingleInstance, LiveStationKeepsTheLockHoweverOldAndCrashedOneLosesIt) {
    TempDir dir;
    OtherStation other(dir.path());
    ASSERT_TRUE(other.acquired());

    SingleInstanceLock mine(dir.path());
    EXPECT_FALSE(mine.TryAcquire());
    // A station that has been running for an hour: its lock is as valid as a
    // fresh one (QLockFile's default would call it stale after 30 s).
    Backdate(mine.path(), 3600);
    EXPECT_FALSE(mine.TryAcquire());

    other.Crash();
    ASSERT_TRUE(QFileInfo::exists(mine.path())) << "a killed holder leaves its file";
    EXPECT_TRUE(mine.TryAcquire());
}

TEST(SingleInstance, FileNamingALiveStationCountsHoweverOld) {
    // Where file locks do not work (some network file systems) the file's
    // content is all there is: a station running for an hour still owns it.
    TempDir dir;
    SleepingCopy station;
    SingleInstanceLock mine(dir.path());
    dir.write(QFileInfo(mine.path()).fileName(), LockFileContent(station.pid()));
    Backdate(mine.path(), 3600);
    EXPECT_FALSE(mine.TryAcquire());
    EXPECT_TRUE(QFileInfo::exists(mine.path()));
}

TEST(SingleInstance, FileLeftByAnExitedProcessIsTakenOver) {
    TempDir dir;
    SingleInstanceLock mine(dir.path());
    const QByteArray content = LockFileContent(ExitedPid());
    dir.write(QFileInfo(mine.path()).fileName(), content);
    ASSERT_TRUE(QFileInfo::exists(mine.path()));

    EXPECT_TRUE(mine.TryAcquire());
    EXPECT_NE(TempDir::read(mine.path()), content) << "the file now names this process";
    EXPECT_TRUE(TempDir::read(mine.path())
                    .startsWith(QByteArray::number(QCoreApplication::applicationPid()) + '\n'));
}

TEST(SingleInstance, MissingDirectoryIsNoLock) {
    TempDir dir;
    SingleInstanceLock lock(dir.file(QStringLiteral("no/such/dir")));
    EXPECT_FALSE(lock.TryAcquire());
}
