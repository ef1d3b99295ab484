#include "TestTracks.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

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
    QProcess lame;
    lame.start(QStringLiteral("lame"), args);
    EXPECT_TRUE(lame.waitForFinished(60000)) << "lame did not finish";
    EXPECT_EQ(lame.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(lame.exitCode(), 0) << lame.readAllStandardError().toStdString();
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
