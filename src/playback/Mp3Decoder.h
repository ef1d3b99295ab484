#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

struct mpg123_handle_struct;

// One MP3 file decoded piece by piece with libmpg123 into 44100 Hz 16-bit
// stereo, whatever rate and channel count the file has (mono is doubled,
// other rates are resampled). Not thread-safe: the engine guards it.
class Mp3Decoder {
public:
    // nullptr when the file is missing or holds no decodable MPEG audio.
    static std::unique_ptr<Mp3Decoder> Open(const QString& path);
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // Sample frames of the whole track, from a scan of every MPEG frame (so
    // also right for variable bit rates and cut-off files).
    qint64 LengthFrames() const { return m_lengthFrames; }

    // Decodes up to maxFrames frames of interleaved samples into out. Fewer
    // frames than asked mean the end of the decodable data was reached.
    qint64 Read(qint16* out, qint64 maxFrames);
    // Moves to the sample frame; false when the decoder cannot go there.
    bool Seek(qint64 frame);

private:
    explicit Mp3Decoder(mpg123_handle_struct* handle);

    mpg123_handle_struct* m_handle;
    qint64 m_lengthFrames = 0;
    bool m_ended = false;
};
