#include "PcmHistory.h"

#include <algorithm>
#include <cstring>

PcmHistory::PcmHistory(qint64 capacityFrames)
    : m_samples(static_cast<size_t>(capacityFrames) * 2), m_capacity(capacityFrames) {}

void PcmHistory::Reset(qint64 startFrame) {
    m_end = startFrame;
    m_size = 0;
}

void PcmHistory::Append(const qint16* interleaved, qint64 frames) {
    if (frames >= m_capacity) {
        interleaved += (frames - m_capacity) * 2;
        m_end += frames - m_capacity;
        frames = m_capacity;
    }
    qint64 done = 0;
    while (done < frames) {
        const qint64 slot = (m_end + done) % m_capacity;
        const qint64 run = std::min(frames - done, m_capacity - slot);
        std::memcpy(&m_samples[static_cast<size_t>(slot) * 2], interleaved + done * 2,
                    static_cast<size_t>(run) * 2 * sizeof(qint16));
        done += run;
    }
    m_end += frames;
    m_size = std::min(m_size + frames, m_capacity);
}

void PcmHistory::TruncateAt(qint64 frame) {
    if (frame >= m_end) {
        return;
    }
    if (frame <= FirstFrame()) {
        Reset(frame);
        return;
    }
    m_size -= m_end - frame;
    m_end = frame;
}

void PcmHistory::Copy(qint64 first, qint64 count, qint16* out) const {
    std::fill(out, out + count * 2, qint16{0});
    const qint64 from = std::max(first, FirstFrame());
    const qint64 to = std::min(first + count, m_end);
    for (qint64 frame = from; frame < to; ++frame) {
        const qint64 slot = ((frame % m_capacity) + m_capacity) % m_capacity;
        out[(frame - first) * 2] = m_samples[static_cast<size_t>(slot) * 2];
        out[(frame - first) * 2 + 1] = m_samples[static_cast<size_t>(slot) * 2 + 1];
    }
}
