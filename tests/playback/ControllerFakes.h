#pragma once

#include "playback/AudioEngine.h"
#include "playback/ControllerTimer.h"
#include "playback/PlaybackPorts.h"

#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <map>

// An audio engine whose streams exist only as numbers: a test decides how
// long a track is and moves the clock. A file that exists opens; its length
// comes from `lengths` (3 s when not listed).
class FakeAudioEngine final : public AudioEngine {
public:
    QHash<QString, double> lengths;
    int opened = 0;

    StreamHandle OpenFileStream(const QString& path) override {
        if (m_current != 0) {
            FreeStream(m_current);
        }
        if (!QFileInfo(path).isFile()) {
            return 0;
        }
        ++opened;
        const StreamHandle handle = m_next++;
        m_streams[handle] = {qint64(lengths.value(path, 3.0) * kBytesPerSecond), 0,
                             ChannelActivity::Stopped};
        m_current = handle;
        return handle;
    }
    void FreeStream(StreamHandle stream) override {
        m_streams.erase(stream);
        if (stream == m_current) {
            m_current = 0;
        }
    }
    bool Play(StreamHandle stream, bool restart) override {
        Stream* s = find(stream);
        if (!s) {
            return false;
        }
        if (restart) {
            s->position = 0;
        }
        s->activity = s->position < s->length ? ChannelActivity::Playing : ChannelActivity::Stopped;
        return true;
    }
    bool Pause(StreamHandle stream) override {
        Stream* s = find(stream);
        if (!s || s->activity != ChannelActivity::Playing) {
            return false;
        }
        s->activity = ChannelActivity::Paused;
        return true;
    }
    bool Stop(StreamHandle stream) override {
        Stream* s = find(stream);
        if (!s) {
            return false;
        }
        s->activity = ChannelActivity::Stopped;
        return true;
    }
    ChannelActivity Activity(StreamHandle stream) override {
        Stream* s = find(stream);
        return s ? s->activity : ChannelActivity::Stopped;
    }
    qint64 LengthBytes(StreamHandle stream) override {
        Stream* s = find(stream);
        return s ? s->length : 0;
    }
    qint64 PositionBytes(StreamHandle stream) override {
        Stream* s = find(stream);
        return s ? s->position : 0;
    }
    bool SetPositionBytes(StreamHandle stream, qint64 bytes) override {
        Stream* s = find(stream);
        if (!s) {
            return false;
        }
        s->position = std::clamp<qint64>(bytes, 0, s->length);
        return true;
    }
    double BytesToSeconds(StreamHandle, qint64 bytes) override {
        return BytesToSecondsOfPcm(bytes);
    }
    bool ReadSpectrum(StreamHandle, SpectrumData& out) override {
        out.fill(0.0f);
        return false;
    }
    quint32 Level(StreamHandle stream) override {
        return Activity(stream) == ChannelActivity::Playing ? (16384u << 16) | 8192u : 0u;
    }
    QString TakeOutputNotice() override { return QString(); }

    // Moves the playing stream on; it stops by itself at its end.
    void Advance(double seconds) {
        Stream* s = find(m_current);
        if (!s || s->activity != ChannelActivity::Playing) {
            return;
        }
        s->position = std::min<qint64>(s->position + qint64(seconds * kBytesPerSecond), s->length);
        if (s->position >= s->length) {
            s->activity = ChannelActivity::Stopped;
        }
    }
    StreamHandle current() const { return m_current; }
    size_t liveStreams() const { return m_streams.size(); }

private:
    struct Stream {
        qint64 length = 0;
        qint64 position = 0;
        ChannelActivity activity = ChannelActivity::Stopped;
    };
    Stream* find(StreamHandle stream) {
        auto it = m_streams.find(stream);
        return it == m_streams.end() ? nullptr : &it->second;
    }
    std::map<StreamHandle, Stream> m_streams;
    StreamHandle m_next = 1;
    StreamHandle m_current = 0;
};

// A timer that runs only when the test fires it.
class ManualTimer final : public ControllerTimer {
public:
    void SetHandler(std::function<void()> handler) override { m_handler = std::move(handler); }
    void Start(int intervalMs) override {
        m_active = true;
        interval = intervalMs;
        ++starts;
    }
    void Stop() override { m_active = false; }
    bool IsActive() const override { return m_active; }
    // One tick, only while started.
    bool Fire() {
        if (!m_active) {
            return false;
        }
        m_handler();
        return true;
    }
    int interval = -1;
    int starts = 0;

private:
    std::function<void()> m_handler;
    bool m_active = false;
};

class RecordingLink final : public LinkPort {
public:
    bool open = false;
    QStringList calls;
    bool IsLinkOpen() const override { return open; }
    void OpenLink() override {
        open = true;
        calls << QStringLiteral("open");
    }
    void CloseLink() override {
        open = false;
        calls << QStringLiteral("close");
    }
};

class RecordingView final : public PlaybackView {
public:
    int refreshes = 0;
    QList<std::pair<qsizetype, qsizetype>> lineSelections;
    QList<qsizetype> entrySelections;
    int meterUpdates = 0;
    void Refresh() override { ++refreshes; }
    void ShowLineSelection(qsizetype index, qsizetype scrollTo) override {
        lineSelections.append({index, scrollTo});
    }
    void ShowPlaylistSelection(qsizetype row) override { entrySelections.append(row); }
    void MetersUpdated() override { ++meterUpdates; }
};
