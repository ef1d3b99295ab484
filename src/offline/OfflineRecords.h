#pragma once

#include "core/ScreenId.h"
#include "link/FrameEncoding.h"
#include "render/FrameSink.h"

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The records the cards play on their own: every offline subtitle line and the
// stand-by advertisement is a 14-byte header followed by the picture, encoded
// linearly (EncodeOfflineFrame).

inline constexpr int kScriptTableEntries = 1024;
inline constexpr int kScriptTableBytes = 4 * kScriptTableEntries;
inline constexpr int kRecordHeaderBytes = 14;
inline constexpr std::uint32_t kNoScript = 0xFFFFFFFFu;

using RecordHeader = std::array<std::uint8_t, kRecordHeaderBytes>;

// Previous and next record offsets, the effect, speed and pause, the extent
// and the checksum (sum of bytes 0..12 modulo 256).
RecordHeader OfflineRecordHeader(std::uint32_t previous, std::uint32_t next,
                                 const FrameEffect& effect, int extent);

struct RecordHeaderFields {
    std::uint32_t previous = 0;
    std::uint32_t next = 0;
    int effect = 0;
    int speed = 0;
    int rollStay = 0;
    int extent = 0;
    int checksum = 0;
    bool checksumOk = false;
};
RecordHeaderFields ReadRecordHeader(std::span<const std::uint8_t, kRecordHeaderBytes> header);

// The record data of a frame (card orientation): one linear pass of
// (W × H + 7) / 8 bytes per colour the kind carries (red; red, green; red,
// green, blue). Whole passes: a width that is not a multiple of 8 keeps the
// bits of the last pixels, and the green pass is complete.
std::vector<std::uint8_t> OfflineRecordData(const QImage& frame, ColourKind kind);

// The picture's extent along the direction of travel: the frame's width (card
// orientation), never less than the screen's own (card) width.
int OfflineExtent(const QImage& frame, int cardWidth);

// File names in the data directory.
QString SubtitleFileName(ScreenId screen); // zim_h.bin...
QString AdvertFileName(ScreenId screen);   // gg_h.bin...
