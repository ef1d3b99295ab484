#pragma once

#include <QtGlobal>

#include <vector>

// The most recently decoded stereo frames of a stream, addressed by their
// frame number in the track, so the meters can look at what is being heard
// while the decoder already runs ahead of it. Not thread-safe.
class PcmHistory {
public:
    explicit PcmHistory(qint64 capacityFrames);

    // Forgets everything; the next appended frame has number startFrame.
    void Reset(qint64 startFrame);
    void Append(const qint16* interleaved, qint64 frames);
    // Drops every frame from frame on (used when playing resumes from there).
    void TruncateAt(qint64 frame);

    qint64 FirstFrame() const { return m_end - m_size; }
    qint64 EndFrame() const { return m_end; }

    // Copies frames [first, first + count) into out; frames not held are zero.
    void Copy(qint64 first, qint64 count, qint16* out) const;

private:
    std::vector<qint16> m_samples; // ring of interleaved frames
    qint64 m_capacity;
    qint64 m_end = 0;  // number of the frame after the newest one held
    qint64 m_size = 0; // frames held
};
