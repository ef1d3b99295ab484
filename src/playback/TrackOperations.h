#pragma once

#include "AudioEngine.h"

#include <QString>

class OperatorInterface;

// The audio state the main window keeps for the current track. Called on
// the user-interface thread.
struct AudioTrack {
    StreamHandle stream = 0;
    // Length in bytes. Kept whole: the low 32 bits alone would turn negative
    // for tracks longer than about three hours and break the progress bar.
    qint64 length = 0;
    qint64 duration = 0; // whole seconds, truncated
    SpectrumData spectrum{};
};

// Frees the current stream and opens path as the new one; its length and
// duration are taken. False (stream 0, length and duration 0) when the file
// cannot be played.
bool OpenTrack(AudioEngine& engine, AudioTrack& track, const QString& path);
// Frees the stream (at exit).
void CloseTrack(AudioEngine& engine, AudioTrack& track);
// Stops the stream and rewinds it to byte 0.
void StopTrack(AudioEngine& engine, const AudioTrack& track);
// The position in whole seconds, truncated.
qint64 TrackSeconds(AudioEngine& engine, const AudioTrack& track);
// Position x 100 / length, 0..100; 0 without a track.
int TrackProgress(AudioEngine& engine, const AudioTrack& track);
// A press at x on a progress bar width pixels wide: moves the position there,
// only while the stream plays (not while paused). True when it moved.
bool SeekByClick(AudioEngine& engine, const AudioTrack& track, int x, int width);
// Reads the FFT of the stream into track.spectrum (zeros without a stream).
void ReadTrackSpectrum(AudioEngine& engine, AudioTrack& track);

struct LevelPercents {
    int left = 0;
    int right = 0;
};
// The level word split into percents of full scale, truncated.
LevelPercents LevelWordToPercents(quint32 levelWord);
// The meters' levels at position p seconds: 0 and 0 while p is 0 (no stream
// or the very start), where the level is not read at all.
LevelPercents ReadTrackLevels(AudioEngine& engine, const AudioTrack& track, qint64 p);

// Shows the engine's notice about a missing sound device on the status line,
// once; does nothing when there is none.
void ReportOutputNotice(AudioEngine& engine, OperatorInterface& op);
