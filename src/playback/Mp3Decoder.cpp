#include "Mp3Decoder.h"

#include "AudioEngine.h"

#include <QFile>
#include <QFileInfo>

#include <mpg123.h>

#include <algorithm>
#include <array>
#include <mutex>

namespace {

bool InitLibrary() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = mpg123_init() == MPG123_OK; });
    return ok;
}

// Reads that produce nothing without reporting the end would otherwise spin
// forever on some damaged files.
constexpr int kMaxEmptyReads = 64;

} // namespace

std::unique_ptr<Mp3Decoder> Mp3Decoder::Open(const QString& path) {
    if (path.isEmpty() || !InitLibrary()) {
        return nullptr;
    }
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (handle == nullptr) {
        return nullptr;
    }
    std::unique_ptr<Mp3Decoder> decoder(new Mp3Decoder(handle));

    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO | MPG123_GAPLESS,
                 0.0);
    // Only one output format: the rest of the engine never sees anything else.
    mpg123_format_none(handle);
    if (mpg123_format(handle, kSampleRate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK) {
        return nullptr;
    }
    // Directories and special files are not tracks; mpg123 would try to read them.
    const QByteArray localPath = QFile::encodeName(path);
    if (!QFileInfo(path).isFile()) {
        return nullptr;
    }
    if (mpg123_open(handle, localPath.constData()) != MPG123_OK) {
        return nullptr;
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK || rate != kSampleRate ||
        channels != kChannelCount || encoding != MPG123_ENC_SIGNED_16) {
        // No table entry fits (a library build without resampling): force the rate.
        mpg123_close(handle);
        mpg123_param(handle, MPG123_FORCE_RATE, kSampleRate, 0.0);
        mpg123_format_none(handle);
        mpg123_format(handle, kSampleRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
        if (mpg123_open(handle, localPath.constData()) != MPG123_OK ||
            mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK ||
            rate != kSampleRate || channels != kChannelCount || encoding != MPG123_ENC_SIGNED_16) {
            return nullptr;
        }
    }
    // A scan walks every frame header once: exact length and a seek index even
    // for variable bit rates, without decoding anything.
    if (mpg123_scan(handle) != MPG123_OK) {
        return nullptr;
    }
    const off_t length = mpg123_length(handle);
    if (length <= 0) {
        return nullptr;
    }
    decoder->m_lengthFrames = static_cast<qint64>(length);
    if (mpg123_seek(handle, 0, SEEK_SET) < 0) {
        return nullptr;
    }
    return decoder;
}

Mp3Decoder::Mp3Decoder(mpg123_handle_struct* handle) : m_handle(handle) {}

Mp3Decoder::~Mp3Decoder() {
    mpg123_close(m_handle);
    mpg123_delete(m_handle);
}

qint64 Mp3Decoder::Read(qint16* out, qint64 maxFrames) {
    qint64 frames = 0;
    int emptyReads = 0;
    while (frames < maxFrames && !m_ended) {
        size_t done = 0;
        const size_t wanted = static_cast<size_t>(maxFrames - frames) * kBytesPerFrame;
        const int result = mpg123_read(m_handle, reinterpret_cast<unsigned char*>(out + frames * 2),
                                       wanted, &done);
        frames += static_cast<qint64>(done / kBytesPerFrame);
        if (result == MPG123_DONE || (result != MPG123_OK && result != MPG123_NEW_FORMAT)) {
            // A damaged or cut-off file ends where its decodable data ends.
            m_ended = true;
            break;
        }
        emptyReads = done == 0 ? emptyReads + 1 : 0;
        if (emptyReads >= kMaxEmptyReads) {
            m_ended = true;
        }
    }
    return frames;
}

bool Mp3Decoder::Seek(qint64 frame) {
    const off_t reached = mpg123_seek(m_handle, static_cast<off_t>(frame), SEEK_SET);
    if (reached < 0 || static_cast<qint64>(reached) > frame) {
        return false;
    }
    m_ended = false;
    // Should the library stop short of the frame, walk the rest of the way.
    qint64 missing = frame - static_cast<qint64>(reached);
    std::array<qint16, 2048> discard{};
    while (missing > 0) {
        const qint64 step = std::min<qint64>(missing, discard.size() / 2);
        const qint64 read = Read(discard.data(), step);
        if (read < step) {
            return false;
        }
        missing -= read;
    }
    return true;
}
