#pragma once

#include <QString>
#include <QStringList>

// MP3 files made at test time: PCM generated here, encoded by lame.
struct ToneTrack {
    double seconds = 3.0;
    double frequency = 440.0;
    double leftAmplitude = 0.5; // 1.0 = full scale
    double rightAmplitude = 0.25;
    int sampleRate = 44100;
    int channels = 2;
    // lame options besides the raw input description, e.g. {"-b", "128"}.
    QStringList lameOptions{QStringLiteral("-b"), QStringLiteral("128")};
};

// Encodes the tone into path; fails the calling test when lame fails.
// Returns path for convenience.
QString MakeToneMp3(const QString& path, const ToneTrack& track);

// Bytes of the file's first `count` bytes written to a new file.
QString WriteTruncatedCopy(const QString& source, const QString& target, qint64 count);
