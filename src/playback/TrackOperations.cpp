#include "TrackOperations.h"

#include "core/Operator.h"

#include <algorithm>

bool OpenTrack(AudioEngine& engine, AudioTrack& track, const QString& path) {
    CloseTrack(engine, track);
    track.stream = engine.OpenFileStream(path);
    if (track.stream == 0) {
        return false;
    }
    track.length = engine.LengthBytes(track.stream);
    track.duration = static_cast<qint64>(engine.BytesToSeconds(track.stream, track.length));
    return true;
}

void CloseTrack(AudioEngine& engine, AudioTrack& track) {
    if (track.stream != 0) {
        engine.FreeStream(track.stream);
    }
    track.stream = 0;
    track.length = 0;
    track.duration = 0;
}

void StopTrack(AudioEngine& engine, const AudioTrack& track) {
    engine.Stop(track.stream);
    engine.SetPositionBytes(track.stream, 0);
}

qint64 TrackSeconds(AudioEngine& engine, const AudioTrack& track) {
    const double seconds = engine.BytesToSeconds(track.stream, engine.PositionBytes(track.stream));
    return seconds > 0.0 ? static_cast<qint64>(seconds) : 0;
}

int TrackProgress(AudioEngine& engine, const AudioTrack& track) {
    if (track.length <= 0) {
        return 0;
    }
    const qint64 position = engine.PositionBytes(track.stream);
    return static_cast<int>(std::clamp<qint64>(position * 100 / track.length, 0, 100));
}

bool SeekByClick(AudioEngine& engine, const AudioTrack& track, int x, int width) {
    if (width <= 0 || engine.Activity(track.stream) != ChannelActivity::Playing) {
        return false;
    }
    const qint64 length = engine.LengthBytes(track.stream);
    const qint64 clampedX = std::clamp<qint64>(x, 0, width);
    return engine.SetPositionBytes(track.stream, length * clampedX / width);
}

void ReadTrackSpectrum(AudioEngine& engine, AudioTrack& track) {
    engine.ReadSpectrum(track.stream, track.spectrum);
}

LevelPercents LevelWordToPercents(quint32 levelWord) {
    LevelPercents levels;
    levels.left = static_cast<int>((levelWord & 0xFFFFu) * 100 / kLevelFullScale);
    levels.right = static_cast<int>((levelWord >> 16) * 100 / kLevelFullScale);
    return levels;
}

LevelPercents ReadTrackLevels(AudioEngine& engine, const AudioTrack& track, qint64 p) {
    if (p == 0) {
        return {};
    }
    return LevelWordToPercents(engine.Level(track.stream));
}

void ReportOutputNotice(AudioEngine& engine, OperatorInterface& op) {
    const QString notice = engine.TakeOutputNotice();
    if (!notice.isEmpty()) {
        op.SetStatus(notice);
    }
}
