#pragma once

#include "AudioClock.h"
#include "AudioEngine.h"
#include "PcmDevice.h"
#include "SignalAnalysis.h"

#include <memory>
#include <mutex>
#include <vector>

// The station's audio engine: MP3 file streams decoded with libmpg123 as the
// output device asks for them, played through a PcmDevice (the sound card,
// or the silent clock-driven output when there is none).
//
// Threads: every AudioEngine call is made on the user-interface thread. A
// device with its own thread pulls decoded frames on that thread; the stream
// state both sides touch is guarded by one mutex, and the decoder only runs
// under it.
class Mp3AudioEngine : public AudioEngine, private PcmSource {
public:
    // With no device, or one that cannot start, the engine plays on a silent
    // output driven by clock and leaves a notice for the operator.
    Mp3AudioEngine(std::unique_ptr<PcmDevice> device, std::shared_ptr<AudioClock> clock);
    ~Mp3AudioEngine() override;
    Mp3AudioEngine(const Mp3AudioEngine&) = delete;
    Mp3AudioEngine& operator=(const Mp3AudioEngine&) = delete;

    // The engine the station uses: the default sound card through Qt
    // Multimedia, the silent output when there is none.
    static std::unique_ptr<Mp3AudioEngine> CreateDefault();

    bool UsesSilentOutput() const { return m_silent; }

    StreamHandle OpenFileStream(const QString& path) override;
    void FreeStream(StreamHandle stream) override;
    bool Play(StreamHandle stream, bool restart) override;
    bool Pause(StreamHandle stream) override;
    bool Stop(StreamHandle stream) override;
    ChannelActivity Activity(StreamHandle stream) override;
    qint64 LengthBytes(StreamHandle stream) override;
    qint64 PositionBytes(StreamHandle stream) override;
    bool SetPositionBytes(StreamHandle stream, qint64 bytes) override;
    double BytesToSeconds(StreamHandle stream, qint64 bytes) override;
    bool ReadSpectrum(StreamHandle stream, SpectrumData& out) override;
    quint32 Level(StreamHandle stream) override;
    QString TakeOutputNotice() override;

private:
    struct Stream;

    // Called on the device's thread.
    qint64 Pull(qint16* out, qint64 maxFrames) override;

    void ServiceDevice();
    void SwitchToSilentOutput(const QString& notice);

    // The helpers below expect m_mutex to be held.
    Stream* FindLocked(StreamHandle stream) const;
    qint64 HeardFrameLocked(const Stream& stream) const;
    void SettleLocked(Stream& stream);
    void RepositionLocked(Stream& stream, qint64 frame);
    void StartRunLocked(Stream& stream, qint64 frame);

    std::shared_ptr<AudioClock> m_clock;
    std::unique_ptr<PcmDevice> m_device; // replaced only on the user-interface thread
    bool m_silent = false;
    QString m_notice;
    StreamHandle m_nextHandle = 1;
    SpectrumAnalyzer m_analyzer;

    mutable std::mutex m_mutex;
    std::unique_ptr<Stream> m_stream; // guarded by m_mutex
    qint64 m_pulledFrames = 0;        // guarded: timeline number of the next frame handed out
    std::vector<qint16> m_scratch;    // guarded: decoding target when the device wants no samples
};
