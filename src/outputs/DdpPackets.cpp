#include "DdpPackets.h"

#include <algorithm>

namespace ddp {

namespace {

void PutBigEndian32(char* out, std::uint32_t value) {
    out[0] = static_cast<char>((value >> 24) & 0xFF);
    out[1] = static_cast<char>((value >> 16) & 0xFF);
    out[2] = static_cast<char>((value >> 8) & 0xFF);
    out[3] = static_cast<char>(value & 0xFF);
}

} // namespace

QByteArray PixelBytes(const QImage& picture, const PixelOptions& options) {
    const QImage rgb = picture.format() == QImage::Format_RGB888
                           ? picture
                           : picture.convertToFormat(QImage::Format_RGB888);
    const int width = rgb.width();
    const int height = rgb.height();
    const int rowBytes = width * 3;
    QByteArray bytes(static_cast<qsizetype>(rowBytes) * height, Qt::Uninitialized);
    const int brightness = std::clamp(options.brightness, 0, 100);
    // One table, so the scale costs a look-up per channel.
    std::uint8_t scale[256];
    for (int v = 0; v < 256; ++v) {
        scale[v] = static_cast<std::uint8_t>((v * brightness + 50) / 100);
    }
    for (int y = 0; y < height; ++y) {
        const uchar* in = rgb.constScanLine(y);
        auto* out =
            reinterpret_cast<std::uint8_t*>(bytes.data()) + static_cast<qsizetype>(y) * rowBytes;
        const bool reversed = options.serpentine && (y % 2) == 1;
        for (int x = 0; x < width; ++x) {
            const uchar* pixel = in + 3 * (reversed ? width - 1 - x : x);
            out[3 * x] = scale[pixel[0]];
            out[3 * x + 1] = scale[pixel[1]];
            out[3 * x + 2] = scale[pixel[2]];
        }
    }
    return bytes;
}

std::vector<QByteArray> FramePackets(const QByteArray& pixels, int sequence) {
    std::vector<QByteArray> packets;
    const qsizetype total = pixels.size();
    packets.reserve(static_cast<std::size_t>(total / kMaxDataBytes + 1));
    qsizetype offset = 0;
    do {
        const qsizetype length = std::min<qsizetype>(kMaxDataBytes, total - offset);
        const bool last = offset + length >= total;
        QByteArray packet(kHeaderBytes + length, Qt::Uninitialized);
        char* head = packet.data();
        head[0] = static_cast<char>(kFlagVersion1 | (last ? kFlagPush : 0));
        head[1] = static_cast<char>(sequence & 0x0F);
        head[2] = static_cast<char>(kTypeRgb24);
        head[3] = static_cast<char>(kDestinationDisplay);
        PutBigEndian32(head + 4, static_cast<std::uint32_t>(offset));
        head[8] = static_cast<char>((length >> 8) & 0xFF);
        head[9] = static_cast<char>(length & 0xFF);
        std::copy_n(pixels.constData() + offset, length, head + kHeaderBytes);
        packets.push_back(std::move(packet));
        offset += length;
    } while (offset < total);
    return packets;
}

int NextSequence(int sequence) {
    return sequence >= 15 || sequence < 1 ? 1 : sequence + 1;
}

} // namespace ddp
