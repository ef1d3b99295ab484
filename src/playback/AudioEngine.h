#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

// The audio engine the station plays its tracks through: file streams with
// byte positions, play/pause/stop, and what the meters read. Every stream
// decodes to the same PCM form, so "bytes" are bytes of 16-bit stereo samples
// at 44100 Hz whatever the file holds.

using StreamHandle = quint32; // 0 = no stream

inline constexpr int kSampleRate = 44100;
inline constexpr int kChannelCount = 2;
inline constexpr int kBytesPerFrame = 4;
inline constexpr qint64 kBytesPerSecond = qint64{kSampleRate} * kBytesPerFrame; // 176400

inline constexpr int kFftSize = 1024;
inline constexpr int kSpectrumBins = kFftSize / 2;
using SpectrumData = std::array<float, kSpectrumBins>;

// Full scale of one channel in the level word.
inline constexpr quint32 kLevelFullScale = 32768;

enum class ChannelActivity : int {
    Stopped = 0, // also an unknown handle and a stream that has played to its end
    Playing = 1,
    Stalled = 2, // never reported by the station's own engine; callers treat it as active
    Paused = 3,
};

// Called on the user-interface thread only. An unknown or freed handle reads
// as an empty stopped stream: activity Stopped, length and position 0, no
// spectrum, level 0; commands on it answer false.
class AudioEngine {
public:
    virtual ~AudioEngine() = default;

    // A stream for the MP3 file at path, or 0 when it cannot be decoded.
    // The station plays one stream at a time: opening a stream frees the
    // previous one.
    virtual StreamHandle OpenFileStream(const QString& path) = 0;
    virtual void FreeStream(StreamHandle stream) = 0;

    // restart true plays from the beginning; false resumes a paused or stopped
    // stream where it stands (a playing stream goes on playing).
    virtual bool Play(StreamHandle stream, bool restart) = 0;
    virtual bool Pause(StreamHandle stream) = 0;
    // Stops output; the position stays where playing stopped.
    virtual bool Stop(StreamHandle stream) = 0;
    virtual ChannelActivity Activity(StreamHandle stream) = 0;

    virtual qint64 LengthBytes(StreamHandle stream) = 0;
    // The position of what is being heard, in bytes.
    virtual qint64 PositionBytes(StreamHandle stream) = 0;
    // bytes from 0 to the length; rounded down to a whole sample frame.
    virtual bool SetPositionBytes(StreamHandle stream, qint64 bytes) = 0;
    virtual double BytesToSeconds(StreamHandle stream, qint64 bytes) = 0;

    // Magnitudes 0.0..1.0 of the 1024-sample FFT (Hann window, both channels
    // mixed) of the samples now playing; bin k is k x 44100 / 1024 Hz. A
    // paused stream keeps giving the spectrum where it paused; a stopped or
    // unknown stream gives zeros and false.
    virtual bool ReadSpectrum(StreamHandle stream, SpectrumData& out) = 0;
    // Peak levels of what is now playing: left channel in the low 16 bits,
    // right in the high 16 bits, each 0..32768. 0 when not playing.
    virtual quint32 Level(StreamHandle stream) = 0;

    // A message for the operator when the engine had to play on a silent
    // output (no audio device could be opened, or the device was lost);
    // returned once per such event, empty otherwise.
    virtual QString TakeOutputNotice() = 0;
};

// Bytes of PCM in whole seconds of the engine's format.
inline constexpr double BytesToSecondsOfPcm(qint64 bytes) {
    return static_cast<double>(bytes) / static_cast<double>(kBytesPerSecond);
}

// The notices TakeOutputNotice hands out.
QString NoAudioDeviceNotice();
QString AudioDeviceLostNotice();
