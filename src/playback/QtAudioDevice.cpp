#include "QtAudioDevice.h"

#include "AudioEngine.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr int kFeedIntervalMs = 10;
// About 150 ms in the card: enough to ride out a busy moment, short enough
// that a pause or seek is heard at once.
constexpr qsizetype kSinkBufferBytes = kBytesPerSecond * 15 / 100 / kBytesPerFrame * kBytesPerFrame;

QAudioFormat StationFormat() {
    QAudioFormat format;
    format.setSampleRate(kSampleRate);
    format.setChannelCount(kChannelCount);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

} // namespace

// Owns the sink; every method runs on the device's thread.
class QtAudioDeviceWorker : public QObject {
public:
    QtAudioDeviceWorker(QtAudioDevice* owner, PcmSource* source, const QAudioDevice& device,
                        qint64 baseFrame, QEventLoop* loop)
        : m_owner(owner), m_source(source), m_device(device), m_loop(loop), m_received(baseFrame),
          m_buffer(static_cast<size_t>(kSinkBufferBytes / 2)) {}

    bool Open() {
        m_sink = std::make_unique<QAudioSink>(m_device, StationFormat());
        m_sink->setBufferSize(kSinkBufferBytes);
        m_io = m_sink->start();
        if (m_io == nullptr || m_sink->error() == QAudio::OpenError ||
            m_sink->error() == QAudio::FatalError) {
            m_sink.reset();
            return false;
        }
        m_timer = new QTimer(this);
        m_timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(m_timer, &QTimer::timeout, this, [this] { Tick(); });
        m_timer->start(kFeedIntervalMs);
        Feed();
        return true;
    }

    void Close() {
        if (m_timer != nullptr) {
            m_timer->stop();
        }
        if (m_sink) {
            m_sink->stop();
            m_sink.reset();
        }
        m_io = nullptr;
    }

    void Flush() {
        if (!m_sink) {
            return;
        }
        // A fresh start is the one way every backend drops what it holds.
        m_sink->stop();
        m_pending = 0;
        m_io = m_sink->start();
        if (m_io == nullptr) {
            m_owner->m_failed.store(true);
        }
        Publish(0);
    }

private:
    void Tick() {
        switch (m_owner->TakeRequest()) {
        case QtAudioDevice::Request::None:
            Feed();
            return;
        case QtAudioDevice::Request::Flush:
            Flush();
            m_owner->RequestDone();
            Feed();
            return;
        case QtAudioDevice::Request::Close:
            Close();
            m_loop->quit();
            m_owner->RequestDone();
            return;
        }
    }

    void Feed() {
        if (!m_sink || m_io == nullptr) {
            return;
        }
        const QAudio::Error error = m_sink->error();
        if (error == QAudio::OpenError || error == QAudio::IOError || error == QAudio::FatalError) {
            m_owner->m_failed.store(true);
            return;
        }
        qsizetype free = m_sink->bytesFree();
        // Frames the sink did not take last time go first.
        if (m_pending > 0) {
            const qint64 written = m_io->write(reinterpret_cast<const char*>(m_buffer.data()),
                                               m_pending * kBytesPerFrame);
            const qint64 frames = std::max<qint64>(written, 0) / kBytesPerFrame;
            std::move(m_buffer.begin() + frames * 2, m_buffer.begin() + m_pending * 2,
                      m_buffer.begin());
            m_pending -= frames;
            free -= frames * kBytesPerFrame;
        }
        if (m_pending == 0 && free >= kBytesPerFrame) {
            const qint64 room =
                std::min<qint64>(free / kBytesPerFrame, static_cast<qint64>(m_buffer.size() / 2));
            const qint64 pulled = m_source->Pull(m_buffer.data(), room);
            m_received += pulled;
            const qint64 written = pulled > 0
                                       ? m_io->write(reinterpret_cast<const char*>(m_buffer.data()),
                                                     pulled * kBytesPerFrame)
                                       : 0;
            const qint64 frames = std::max<qint64>(written, 0) / kBytesPerFrame;
            std::move(m_buffer.begin() + frames * 2, m_buffer.begin() + pulled * 2,
                      m_buffer.begin());
            m_pending = pulled - frames;
        }
        const qint64 inSink =
            std::max<qint64>(m_sink->bufferSize() - m_sink->bytesFree(), 0) / kBytesPerFrame;
        Publish(inSink + m_pending);
    }

    void Publish(qint64 queuedFrames) {
        const qint64 heard = m_received - queuedFrames;
        // The sink's own figures may wobble; the heard position never goes back.
        if (heard > m_owner->m_heard.load()) {
            m_owner->m_heard.store(heard);
        }
    }

    QtAudioDevice* m_owner;
    PcmSource* m_source;
    QAudioDevice m_device;
    QEventLoop* m_loop;
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_io = nullptr;
    QTimer* m_timer = nullptr;
    qint64 m_received;
    std::vector<qint16> m_buffer;
    qint64 m_pending = 0; // frames at the front of m_buffer the sink has not taken
};

QtAudioDevice::~QtAudioDevice() {
    Stop();
}

bool QtAudioDevice::Start(PcmSource* source, qint64 baseFrame) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(StationFormat())) {
        return false;
    }
    m_heard.store(baseFrame);
    m_failed.store(false);
    std::promise<bool> opened;
    std::future<bool> openResult = opened.get_future();
    m_thread = std::thread([this, source, device, baseFrame, &opened] {
        QEventLoop loop;
        QtAudioDeviceWorker worker(this, source, device, baseFrame, &loop);
        const bool ok = worker.Open();
        opened.set_value(ok);
        if (ok) {
            loop.exec();
        }
    });
    if (!openResult.get()) {
        m_thread.join();
        return false;
    }
    return true;
}

void QtAudioDevice::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    Ask(Request::Close);
    m_thread.join();
}

void QtAudioDevice::Ask(Request request) {
    std::future<void> done;
    {
        std::lock_guard lock(m_requestMutex);
        m_request = request;
        m_requestDone = std::promise<void>();
        done = m_requestDone.get_future();
    }
    done.wait();
}

QtAudioDevice::Request QtAudioDevice::TakeRequest() {
    std::lock_guard lock(m_requestMutex);
    return std::exchange(m_request, Request::None);
}

void QtAudioDevice::RequestDone() {
    std::lock_guard lock(m_requestMutex);
    m_requestDone.set_value();
}

qint64 QtAudioDevice::HeardFrames() const {
    return m_heard.load();
}

void QtAudioDevice::Flush() {
    if (m_thread.joinable()) {
        Ask(Request::Flush);
    }
}

bool QtAudioDevice::Failed() const {
    return m_failed.load();
}
