#include "OfflineRecords.h"

#include <algorithm>
#include <numeric>

namespace {

void PutLe32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t Le32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

int Sum13(std::span<const std::uint8_t> header) {
    return std::accumulate(header.begin(), header.begin() + 13, 0) & 0xFF;
}

} // namespace

RecordHeader OfflineRecordHeader(std::uint32_t previous, std::uint32_t next,
                                 const FrameEffect& effect, int extent) {
    RecordHeader header{};
    PutLe32(header.data(), previous);
    PutLe32(header.data() + 4, next);
    header[8] = static_cast<std::uint8_t>(effect.effect);
    header[9] = static_cast<std::uint8_t>(effect.speed);
    header[10] = static_cast<std::uint8_t>(effect.rollStay);
    const int clamped = std::clamp(extent, 0, 0xFFFF);
    header[11] = static_cast<std::uint8_t>(clamped & 0xFF);
    header[12] = static_cast<std::uint8_t>(clamped >> 8);
    header[13] = static_cast<std::uint8_t>(Sum13(header));
    return header;
}

RecordHeaderFields ReadRecordHeader(std::span<const std::uint8_t, kRecordHeaderBytes> header) {
    RecordHeaderFields fields;
    fields.previous = Le32(header.data());
    fields.next = Le32(header.data() + 4);
    fields.effect = header[8];
    fields.speed = header[9];
    fields.rollStay = header[10];
    fields.extent = header[11] | (header[12] << 8);
    fields.checksum = header[13];
    fields.checksumOk = Sum13(header) == header[13];
    return fields;
}

std::vector<std::uint8_t> OfflineRecordData(const QImage& frame, ColourKind kind) {
    std::vector<std::uint8_t> data;
    if (frame.isNull()) {
        return data;
    }
    if (kind != ColourKind::Full) {
        const std::size_t written = EncodeOfflineFrame(frame, kind, data);
        data.resize(written);
        return data;
    }
    // Full colour: red and green as for dual colour, then a blue pass laid out
    // the same way, so a full-colour screen gets its picture and not stale bytes.
    const std::size_t twoPasses = EncodeOfflineFrame(frame, ColourKind::Dual, data);
    const QImage image = frame.convertToFormat(QImage::Format_RGB888);
    const std::size_t pass = twoPasses / 2;
    data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(twoPasses));
    data.resize(twoPasses + pass, 0);
    std::uint8_t* blue = data.data() + twoPasses;
    std::size_t bit = 0;
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* px = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x, ++bit) {
            if (px[3 * x + 2] >= 128) {
                blue[bit / 8] = static_cast<std::uint8_t>(blue[bit / 8] | (1u << (bit % 8)));
            }
        }
    }
    return data;
}

int OfflineExtent(const QImage& frame, int cardWidth) {
    return std::max(frame.width(), cardWidth);
}

QString SubtitleFileName(ScreenId screen) {
    return QStringLiteral("zim_%1.bin").arg(QLatin1Char(ScreenLetter(screen)));
}

QString AdvertFileName(ScreenId screen) {
    return QStringLiteral("gg_%1.bin").arg(QLatin1Char(ScreenLetter(screen)));
}
