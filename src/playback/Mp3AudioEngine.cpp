#include "Mp3AudioEngine.h"

#include "Mp3Decoder.h"
#include "PcmHistory.h"
#include "QtAudioDevice.h"
#include "SilentPcmDevice.h"

#include <algorithm>

namespace {

// Decoded frames kept behind the decoder for the meters: the sound card's
// buffer plus one FFT block must fit.
constexpr qint64 kHistoryFrames = kSampleRate;
// The span the level is measured over (20 ms).
constexpr qint64 kLevelFrames = kSampleRate / 50;
// Frames decoded per step; the mutex is never held for much longer.
constexpr qint64 kChunkFrames = 4096;
// The silent output may fall far behind its clock (nobody asked for a
// while); beyond this it seeks instead of decoding what nobody hears.
constexpr qint64 kSkipThreshold = 2 * kSampleRate;
constexpr qint64 kSkipKeepFrames = 2 * kFftSize;

} // namespace

struct Mp3AudioEngine::Stream {
    Stream(StreamHandle h, std::unique_ptr<Mp3Decoder> d)
        : handle(h), decoder(std::move(d)), lengthFrames(decoder->LengthFrames()),
          endFrame(lengthFrames), history(kHistoryFrames) {}

    StreamHandle handle;
    std::unique_ptr<Mp3Decoder> decoder;
    qint64 lengthFrames;
    qint64 endFrame; // where decodable data ends; below the length for damaged files
    ChannelActivity activity = ChannelActivity::Stopped;
    qint64 cursor = 0;    // next frame the decoder delivers
    qint64 heldFrame = 0; // the position while not playing
    // The current run of playing: frame runStart is heard at timeline number
    // runTimeline, and runFrames frames have been handed out since.
    qint64 runTimeline = 0;
    qint64 runStart = 0;
    qint64 runFrames = 0;
    PcmHistory history;
};

Mp3AudioEngine::Mp3AudioEngine(std::unique_ptr<PcmDevice> device, std::shared_ptr<AudioClock> clock)
    : m_clock(clock ? std::move(clock) : std::make_shared<SteadyAudioClock>()),
      m_device(std::move(device)), m_scratch(static_cast<size_t>(kChunkFrames) * 2) {
    if (!m_device || !m_device->Start(this, 0)) {
        m_device = std::make_unique<SilentPcmDevice>(m_clock);
        m_device->Start(this, 0);
        m_silent = true;
        m_notice = NoAudioDeviceNotice();
    }
}

Mp3AudioEngine::~Mp3AudioEngine() {
    // The device's thread must not pull from a half-destroyed engine.
    m_device->Stop();
}

std::unique_ptr<Mp3AudioEngine> Mp3AudioEngine::CreateDefault() {
    return std::make_unique<Mp3AudioEngine>(std::make_unique<QtAudioDevice>(),
                                            std::make_shared<SteadyAudioClock>());
}

QString Mp3AudioEngine::TakeOutputNotice() {
    ServiceDevice();
    QString notice;
    notice.swap(m_notice);
    return notice;
}

void Mp3AudioEngine::ServiceDevice() {
    if (!m_silent && m_device->Failed()) {
        SwitchToSilentOutput(AudioDeviceLostNotice());
    }
    m_device->Service();
}

void Mp3AudioEngine::SwitchToSilentOutput(const QString& notice) {
    m_device->Stop();
    {
        std::lock_guard lock(m_mutex);
        // Go on from what was heard; whatever the lost device still held is gone.
        if (m_stream && m_stream->activity == ChannelActivity::Playing) {
            StartRunLocked(*m_stream, HeardFrameLocked(*m_stream));
        }
        m_device = std::make_unique<SilentPcmDevice>(m_clock);
        m_device->Start(this, m_pulledFrames);
    }
    m_silent = true;
    m_notice = notice;
}

Mp3AudioEngine::Stream* Mp3AudioEngine::FindLocked(StreamHandle stream) const {
    if (stream == 0 || !m_stream || m_stream->handle != stream) {
        return nullptr;
    }
    return m_stream.get();
}

qint64 Mp3AudioEngine::HeardFrameLocked(const Stream& stream) const {
    if (stream.activity != ChannelActivity::Playing) {
        return stream.heldFrame;
    }
    const qint64 heard = m_device->HeardFrames() - stream.runTimeline;
    return stream.runStart + std::clamp<qint64>(heard, 0, stream.runFrames);
}

void Mp3AudioEngine::SettleLocked(Stream& stream) {
    if (stream.activity != ChannelActivity::Playing || stream.cursor < stream.endFrame) {
        return;
    }
    const qint64 heard = HeardFrameLocked(stream);
    if (heard >= stream.endFrame) {
        stream.activity = ChannelActivity::Stopped;
        stream.heldFrame = stream.endFrame;
    }
}

void Mp3AudioEngine::RepositionLocked(Stream& stream, qint64 frame) {
    if (stream.cursor != frame) {
        if (frame > stream.history.FirstFrame() && frame < stream.history.EndFrame()) {
            stream.history.TruncateAt(frame);
        } else {
            stream.history.Reset(frame);
        }
        if (!stream.decoder->Seek(frame)) {
            // Nothing more can be decoded from here: the stream ends here.
            stream.endFrame = std::min(stream.endFrame, frame);
        }
        stream.cursor = frame;
    }
    stream.heldFrame = frame;
}

void Mp3AudioEngine::StartRunLocked(Stream& stream, qint64 frame) {
    RepositionLocked(stream, frame);
    stream.runTimeline = m_pulledFrames;
    stream.runStart = frame;
    stream.runFrames = 0;
}

qint64 Mp3AudioEngine::Pull(qint16* out, qint64 maxFrames) {
    std::lock_guard lock(m_mutex);
    Stream* stream = m_stream.get();
    if (stream == nullptr || stream->activity != ChannelActivity::Playing) {
        return 0;
    }
    const qint64 wanted = std::min(maxFrames, stream->endFrame - stream->cursor);
    if (wanted <= 0) {
        return 0;
    }
    qint64 given = 0;
    if (out == nullptr && wanted > kSkipThreshold) {
        const qint64 target = stream->cursor + wanted - kSkipKeepFrames;
        if (stream->decoder->Seek(target)) {
            stream->history.Reset(target);
            given = target - stream->cursor;
            stream->cursor = target;
        }
    }
    while (given < wanted) {
        const qint64 chunk = std::min(wanted - given, kChunkFrames);
        qint16* target = out != nullptr ? out + given * 2 : m_scratch.data();
        const qint64 decoded = stream->decoder->Read(target, chunk);
        stream->history.Append(target, decoded);
        stream->cursor += decoded;
        given += decoded;
        if (decoded < chunk) {
            // The file ends before its frame headers promised (cut off or damaged).
            stream->endFrame = stream->cursor;
            break;
        }
    }
    stream->runFrames += given;
    m_pulledFrames += given;
    return given;
}

StreamHandle Mp3AudioEngine::OpenFileStream(const QString& path) {
    // Scanning a file takes a moment; the device keeps pulling meanwhile.
    std::unique_ptr<Mp3Decoder> decoder = Mp3Decoder::Open(path);
    if (!decoder) {
        return 0;
    }
    ServiceDevice();
    const StreamHandle handle = m_nextHandle++;
    if (m_nextHandle == 0) {
        m_nextHandle = 1;
    }
    auto fresh = std::make_unique<Stream>(handle, std::move(decoder));
    std::unique_ptr<Stream> replaced;
    {
        std::lock_guard lock(m_mutex);
        replaced = std::move(m_stream);
        m_stream = std::move(fresh);
    }
    if (replaced && replaced->activity == ChannelActivity::Playing) {
        m_device->Flush();
    }
    return handle;
}

void Mp3AudioEngine::FreeStream(StreamHandle stream) {
    ServiceDevice();
    std::unique_ptr<Stream> freed;
    {
        std::lock_guard lock(m_mutex);
        if (FindLocked(stream) == nullptr) {
            return;
        }
        freed = std::move(m_stream);
    }
    if (freed->activity == ChannelActivity::Playing) {
        m_device->Flush();
    }
}

bool Mp3AudioEngine::Play(StreamHandle stream, bool restart) {
    ServiceDevice();
    bool playing = false;
    {
        std::lock_guard lock(m_mutex);
        Stream* s = FindLocked(stream);
        if (s == nullptr) {
            return false;
        }
        SettleLocked(*s);
        playing = s->activity == ChannelActivity::Playing;
        if (playing && !restart) {
            return true;
        }
    }
    if (playing) {
        // What the card still holds belongs to the old position.
        m_device->Flush();
    }
    std::lock_guard lock(m_mutex);
    Stream* s = FindLocked(stream);
    if (s == nullptr) {
        return false;
    }
    const qint64 from = restart ? 0 : HeardFrameLocked(*s);
    StartRunLocked(*s, from);
    s->activity = ChannelActivity::Playing;
    return true;
}

bool Mp3AudioEngine::Pause(StreamHandle stream) {
    ServiceDevice();
    {
        std::lock_guard lock(m_mutex);
        Stream* s = FindLocked(stream);
        if (s == nullptr) {
            return false;
        }
        SettleLocked(*s);
        if (s->activity != ChannelActivity::Playing) {
            return s->activity == ChannelActivity::Paused;
        }
        s->heldFrame = HeardFrameLocked(*s);
        s->activity = ChannelActivity::Paused;
    }
    m_device->Flush();
    return true;
}

bool Mp3AudioEngine::Stop(StreamHandle stream) {
    ServiceDevice();
    bool wasPlaying = false;
    {
        std::lock_guard lock(m_mutex);
        Stream* s = FindLocked(stream);
        if (s == nullptr) {
            return false;
        }
        SettleLocked(*s);
        wasPlaying = s->activity == ChannelActivity::Playing;
        s->heldFrame = HeardFrameLocked(*s);
        s->activity = ChannelActivity::Stopped;
    }
    if (wasPlaying) {
        m_device->Flush();
    }
    return true;
}

ChannelActivity Mp3AudioEngine::Activity(StreamHandle stream) {
    ServiceDevice();
    std::lock_guard lock(m_mutex);
    Stream* s = FindLocked(stream);
    if (s == nullptr) {
        return ChannelActivity::Stopped;
    }
    SettleLocked(*s);
    return s->activity;
}

qint64 Mp3AudioEngine::LengthBytes(StreamHandle stream) {
    std::lock_guard lock(m_mutex);
    const Stream* s = FindLocked(stream);
    return s == nullptr ? 0 : s->lengthFrames * kBytesPerFrame;
}

qint64 Mp3AudioEngine::PositionBytes(StreamHandle stream) {
    ServiceDevice();
    std::lock_guard lock(m_mutex);
    Stream* s = FindLocked(stream);
    if (s == nullptr) {
        return 0;
    }
    SettleLocked(*s);
    return HeardFrameLocked(*s) * kBytesPerFrame;
}

bool Mp3AudioEngine::SetPositionBytes(StreamHandle stream, qint64 bytes) {
    ServiceDevice();
    const qint64 frame = bytes / kBytesPerFrame;
    bool playing = false;
    {
        std::lock_guard lock(m_mutex);
        Stream* s = FindLocked(stream);
        if (s == nullptr || bytes < 0 || frame > s->lengthFrames) {
            return false;
        }
        SettleLocked(*s);
        playing = s->activity == ChannelActivity::Playing;
    }
    if (playing) {
        m_device->Flush();
    }
    std::lock_guard lock(m_mutex);
    Stream* s = FindLocked(stream);
    if (s == nullptr) {
        return false;
    }
    if (s->activity == ChannelActivity::Playing) {
        StartRunLocked(*s, frame);
    } else {
        RepositionLocked(*s, frame);
    }
    return true;
}

double Mp3AudioEngine::BytesToSeconds(StreamHandle stream, qint64 bytes) {
    std::lock_guard lock(m_mutex);
    return FindLocked(stream) == nullptr ? 0.0 : BytesToSecondsOfPcm(bytes);
}

bool Mp3AudioEngine::ReadSpectrum(StreamHandle stream, SpectrumData& out) {
    ServiceDevice();
    std::array<qint16, kFftSize * 2> block{};
    {
        std::lock_guard lock(m_mutex);
        Stream* s = FindLocked(stream);
        if (s != nullptr) {
            SettleLocked(*s);
        }
        if (s == nullptr || s->activity == ChannelActivity::Stopped) {
            out.fill(0.0f);
            return false;
        }
        const qint64 heard = HeardFrameLocked(*s);
        s->history.Copy(heard - kFftSize, kFftSize, block.data());
    }
    m_analyzer.Compute(block.data(), out);
    return true;
}

quint32 Mp3AudioEngine::Level(StreamHandle stream) {
    ServiceDevice();
    std::array<qint16, kLevelFrames * 2> block{};
    {
        std::lock_guard lock(m_mutex);
        Stream* s = FindLocked(stream);
        if (s != nullptr) {
            SettleLocked(*s);
        }
        if (s == nullptr || s->activity != ChannelActivity::Playing) {
            return 0;
        }
        const qint64 heard = HeardFrameLocked(*s);
        s->history.Copy(heard - kLevelFrames, kLevelFrames, block.data());
    }
    return PeakLevelWord(block.data(), kLevelFrames);
}
