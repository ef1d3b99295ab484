#include "TestTracks.h"

#include <QFile>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace {

// Runs lame and waits for it. A plain fork and exec rather than QProcess:
// QProcess starts children in a way ThreadSanitizer cannot follow, after
// which it misreads every lock of the test thread.
int RunLame(const QStringList& args) {
    std::vector<std::string> storage{"lame"};
    for (const QString& arg : args) {
        storage.push_back(QFile::encodeName(arg).toStdString());
    }
    std::vector<char*> argv;
    for (std::string& arg : storage) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // Its libsndfile warns about raw input on every run; nothing to see.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDERR_FILENO);
        }
        execvp("lame", argv.data());
        _exit(127);
    }
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace

QString MakeToneMp3(const QString& path, const ToneTrack& track) {
    const qint64 frames = static_cast<qint64>(track.seconds * track.sampleRate);
    QByteArray pcm(static_cast<qsizetype>(frames * track.channels * 2), Qt::Uninitialized);
    auto* samples = reinterpret_cast<qint16*>(pcm.data());
    for (qint64 i = 0; i < frames; ++i) {
        const double s = std::sin(2.0 * std::numbers::pi * track.frequency *
                                  static_cast<double>(i) / track.sampleRate);
        samples[i * track.channels] =
            static_cast<qint16>(std::lround(s * track.leftAmplitude * 32767));
        if (track.channels == 2) {
            samples[i * 2 + 1] = static_cast<qint16>(std::lround(s * track.rightAmplitude * 32767));
        }
    }
    const QString rawPath = path + QStringLiteral(".raw");
    {
        QFile raw(rawPath);
        EXPECT_TRUE(raw.open(QIODevice::WriteOnly));
        raw.write(pcm);
    }
    QStringList args{QStringLiteral("-r"),
                     QStringLiteral("-s"),
                     QString::number(track.sampleRate / 1000.0),
                     QStringLiteral("--bitwidth"),
                     QStringLiteral("16"),
                     QStringLiteral("--signed"),
                     QStringLiteral("--little-endian"),
                     QStringLiteral("-m"),
                     track.channels == 2 ? QStringLiteral("s") : QStringLiteral("m"),
                     QStringLiteral("-q"),
                     QStringLiteral("9"),
                     QStringLiteral("--silent")};
    args += track.lameOptions;
    args += {rawPath, path};
    EXPECT_EQ(RunLame(args), 0) << "lame failed for " << path.toStdString();
    QFile::remove(rawPath);
    EXPECT_TRUE(QFile::exists(path));
    return path;
}

QString WriteTruncatedCopy(const QString& source, const QString& target, qint64 count) {
    QFile in(source);
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QFile out(target);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(in.read(count));
    return target;
}
