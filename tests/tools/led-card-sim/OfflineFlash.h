#pragma once

// Offline content as the station lays it into a card's flash, written here
// byte by byte from the layout (not through the reader under test), with the
// station's own picture encoder for the record data.

#include "link/FrameEncoding.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace offline_test {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kAdvert = 0x1000;
constexpr std::uint32_t kFile = 0xB000;
constexpr std::uint32_t kRecords = 4096;

struct TestRecord {
    QImage picture; // card orientation: extent x card height
    int effect = 0;
    int speed = 1;
    int pause = 0;
};

inline void PutLe32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + std::size_t(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline std::array<std::uint8_t, 14> Header(std::uint32_t previous, std::uint32_t next, int effect,
                                           int speed, int pause, int extent) {
    Bytes bytes(14, 0);
    PutLe32(bytes, 0, previous);
    PutLe32(bytes, 4, next);
    bytes[8] = static_cast<std::uint8_t>(effect);
    bytes[9] = static_cast<std::uint8_t>(speed);
    bytes[10] = static_cast<std::uint8_t>(pause);
    bytes[11] = static_cast<std::uint8_t>(extent & 0xFF);
    bytes[12] = static_cast<std::uint8_t>(extent >> 8);
    unsigned sum = 0;
    for (int i = 0; i < 13; ++i) {
        sum += bytes[std::size_t(i)];
    }
    bytes[13] = static_cast<std::uint8_t>(sum);
    std::array<std::uint8_t, 14> header{};
    std::copy(bytes.begin(), bytes.end(), header.begin());
    return header;
}

// One colour channel moved into red, so the single-colour encoder writes it
// as a pass of its own.
inline QImage ChannelAsRed(const QImage& picture, int channel) {
    QImage out = picture.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < out.height(); ++y) {
        std::uint8_t* px = out.scanLine(y);
        for (int x = 0; x < out.width(); ++x) {
            px[3 * x] = px[3 * x + channel];
        }
    }
    return out;
}

// Record data: the station's encoder for single and dual colour; full colour
// as its red, green and blue passes, each encoded as a single-colour picture.
inline Bytes PictureData(const QImage& picture, ColourKind kind) {
    Bytes out;
    if (kind != ColourKind::Full) {
        out.resize(EncodeOfflineFrame(picture, kind, out));
        return out;
    }
    for (int channel = 0; channel < 3; ++channel) {
        Bytes pass;
        pass.resize(EncodeOfflineFrame(ChannelAsRed(picture, channel), ColourKind::Single, pass));
        out.insert(out.end(), pass.begin(), pass.end());
    }
    return out;
}

inline Bytes RecordBytes(std::uint32_t previous, std::uint32_t next, const TestRecord& record,
                         ColourKind kind) {
    const auto header =
        Header(previous, next, record.effect, record.speed, record.pause, record.picture.width());
    Bytes out(header.begin(), header.end());
    const Bytes data = PictureData(record.picture, kind);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// Writes `data` at `address`, the flash growing with erased bytes as a card's does.
inline void Put(Bytes& flash, std::size_t address, std::span<const std::uint8_t> data) {
    if (flash.size() < address + data.size()) {
        flash.resize(address + data.size(), 0xFF);
    }
    std::copy(data.begin(), data.end(), flash.begin() + std::ptrdiff_t(address));
}

struct SubtitleFile {
    Bytes bytes;
    std::vector<std::uint32_t> offsets; // of every record, in file order
};

// Scripts one after another; each script's entry names its first record.
inline SubtitleFile MakeSubtitleFile(const std::vector<std::vector<TestRecord>>& scripts,
                                     ColourKind kind) {
    SubtitleFile file;
    file.bytes.assign(kRecords, 0xFF);
    std::uint32_t offset = kRecords;
    std::uint32_t previous = kRecords;
    for (std::size_t s = 0; s < scripts.size(); ++s) {
        PutLe32(file.bytes, 4 * s, offset);
        for (const TestRecord& record : scripts[s]) {
            const std::uint32_t size =
                14 + static_cast<std::uint32_t>(PictureData(record.picture, kind).size());
            const Bytes bytes = RecordBytes(previous, offset + size, record, kind);
            file.bytes.insert(file.bytes.end(), bytes.begin(), bytes.end());
            file.offsets.push_back(offset);
            previous = offset;
            offset += size;
        }
    }
    return file;
}

inline Bytes MakeFlash(const std::optional<TestRecord>& advert, const SubtitleFile& file,
                       ColourKind kind) {
    Bytes flash;
    if (advert) {
        Put(flash, kAdvert, RecordBytes(0, 0, *advert, kind));
    }
    if (!file.bytes.empty()) {
        Put(flash, kFile, file.bytes);
    }
    return flash;
}

} // namespace offline_test
