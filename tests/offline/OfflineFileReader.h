#pragma once

// The tests' own reading of an offline subtitle file and of a record's
// picture, written from the file's layout and not from the writer's code.

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <vector>

struct ReadRecord {
    std::uint32_t offset = 0;
    std::uint32_t previous = 0;
    std::uint32_t next = 0;
    int effect = 0, speed = 0, stay = 0, extent = 0;
    bool checksumOk = false;
    QByteArray data;
};

struct ReadOfflineFile {
    std::vector<std::uint32_t> table; // 1024 entries
    std::vector<ReadRecord> records;  // following the next offsets from 4096
    bool chainOk = true;              // every previous offset names the record before
};

inline std::uint32_t Le32At(const QByteArray& bytes, qsizetype at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i])) << (8 * i);
    }
    return value;
}

inline ReadOfflineFile ReadOffline(const QByteArray& bytes) {
    ReadOfflineFile file;
    if (bytes.size() < 4096) {
        file.chainOk = false;
        return file;
    }
    for (int i = 0; i < 1024; ++i) {
        file.table.push_back(Le32At(bytes, 4 * i));
    }
    std::uint32_t at = 4096;
    std::uint32_t expectedPrevious = 4096;
    while (at + 14 <= static_cast<std::uint32_t>(bytes.size())) {
        ReadRecord record;
        record.offset = at;
        record.previous = Le32At(bytes, at);
        record.next = Le32At(bytes, at + 4);
        record.effect = static_cast<std::uint8_t>(bytes[at + 8]);
        record.speed = static_cast<std::uint8_t>(bytes[at + 9]);
        record.stay = static_cast<std::uint8_t>(bytes[at + 10]);
        record.extent = static_cast<std::uint8_t>(bytes[at + 11]) |
                        (static_cast<std::uint8_t>(bytes[at + 12]) << 8);
        int sum = 0;
        for (int i = 0; i < 13; ++i) {
            sum += static_cast<std::uint8_t>(bytes[at + i]);
        }
        record.checksumOk = (sum & 0xFF) == static_cast<std::uint8_t>(bytes[at + 13]);
        if (record.previous != expectedPrevious || record.next <= at + 14 ||
            record.next > static_cast<std::uint32_t>(bytes.size())) {
            file.chainOk = false;
            break;
        }
        record.data = bytes.mid(at + 14, record.next - at - 14);
        expectedPrevious = at;
        at = record.next;
        file.records.push_back(record);
    }
    if (at != static_cast<std::uint32_t>(bytes.size())) {
        file.chainOk = false;
    }
    return file;
}

// A record's picture: `passes` linear passes (red, green, blue) of W × H
// bits, pixel by pixel from bit 0, rows unpadded.
inline QImage DecodeRecordPicture(const QByteArray& data, int width, int height, int passes) {
    QImage picture(width, height, QImage::Format_RGB888);
    picture.fill(Qt::black);
    const qsizetype pass = (static_cast<qsizetype>(width) * height + 7) / 8;
    for (int p = 0; p < passes; ++p) {
        for (int y = 0; y < height; ++y) {
            std::uint8_t* px = picture.scanLine(y);
            for (int x = 0; x < width; ++x) {
                const qsizetype bit = static_cast<qsizetype>(y) * width + x;
                const qsizetype index = p * pass + bit / 8;
                if (index < data.size() &&
                    ((static_cast<std::uint8_t>(data[index]) >> (bit % 8)) & 1)) {
                    px[3 * x + p] = 255;
                }
            }
        }
    }
    return picture;
}
