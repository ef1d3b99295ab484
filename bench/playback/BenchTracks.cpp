#include "BenchTracks.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cmath>
#include <numbers>

QString MakeBenchTrack(const QString& dir, double seconds) {
    const qint64 frames = static_cast<qint64>(seconds * 44100);
    QByteArray pcm(static_cast<qsizetype>(frames * 4), Qt::Uninitialized);
    auto* samples = reinterpret_cast<qint16*>(pcm.data());
    for (qint64 i = 0; i < frames; ++i) {
        // A chord, so the spectrum has more than one line to draw.
        const double t = static_cast<double>(i) / 44100.0;
        const double s = 0.3 * std::sin(2 * std::numbers::pi * 440 * t) +
                         0.2 * std::sin(2 * std::numbers::pi * 1320 * t) +
                         0.1 * std::sin(2 * std::numbers::pi * 3000 * t);
        samples[i * 2] = static_cast<qint16>(s * 32767);
        samples[i * 2 + 1] = static_cast<qint16>(s * 0.6 * 32767);
    }
    const QString raw = QDir(dir).filePath(QStringLiteral("bench.raw"));
    const QString mp3 = QDir(dir).filePath(QStringLiteral("bench.mp3"));
    QFile file(raw);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    file.write(pcm);
    file.close();
    QProcess lame;
    lame.start(QStringLiteral("lame"),
               {QStringLiteral("-r"), QStringLiteral("-s"), QStringLiteral("44.1"),
                QStringLiteral("--bitwidth"), QStringLiteral("16"), QStringLiteral("--signed"),
                QStringLiteral("--little-endian"), QStringLiteral("-m"), QStringLiteral("j"),
                QStringLiteral("-b"), QStringLiteral("192"), QStringLiteral("--silent"), raw, mp3});
    const bool ok = lame.waitForFinished(120000) && lame.exitCode() == 0;
    QFile::remove(raw);
    return ok ? mp3 : QString();
}
