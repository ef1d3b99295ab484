#pragma once

#include "SimCard.h"

#include "link/FrameEncoding.h"

#include <QImage>
#include <QSize>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// What a card plays on its own once the station lets go of it with "yes": the
// stand-by advertisement and the offline subtitle file the station wrote into
// its flash. These are pure readers over a copy of the flash; the flash may
// hold anything (erased bytes, an older file's tail, a broken transfer), so
// every offset and length is checked against the flash before it is used, and
// whatever cannot be read is named in `problems` instead of being played.
//
// Flash layout (byte addresses, numbers little-endian):
//   0x1000  advertisement: one record header, its picture data after it
//   0xB000  subtitle file: 1024 script entries of 4 bytes (file offset of the
//           script's first record, FFFFFFFF unused), records from offset 4096
// A record header is 14 bytes: previous record's offset (0-3), offset just past
// this record (4-7), effect (8), speed (9), scroll pause (10), extent (11-12)
// and the sum of bytes 0..12 modulo 256 (13). The advertisement holds 0 in
// both offsets; the first subtitle record names itself as its previous.

namespace offline {

inline constexpr std::uint32_t kAdvertAddress = 0x1000;
inline constexpr std::uint32_t kSubtitleFileAddress = 0xB000;
inline constexpr std::uint32_t kHeaderSize = 14;
inline constexpr int kScriptEntries = 1024;
inline constexpr std::uint32_t kFirstRecordOffset = 4096;
inline constexpr std::uint32_t kUnusedScript = 0xFFFFFFFF;
inline constexpr int kMaxEffect = 5;
inline constexpr int kMinSpeed = 1;
inline constexpr int kMaxSpeed = 10;
inline constexpr int kMaxPause = 5;
// A flash full of broken scripts would otherwise make a list nobody can read.
inline constexpr int kMaxProblems = 50;

struct RecordHeader {
    std::uint32_t previous = 0;
    std::uint32_t next = 0;
    int effect = 0;
    int speed = 0;
    int pause = 0;
    int extent = 0;
};

// The header's fields when its checksum holds; nothing for a short span or a
// wrong checksum.
std::optional<RecordHeader> ParseRecordHeader(std::span<const std::uint8_t> bytes);

// Colour class of a parameter block's card type (byte 6): 1, 3, 5 single,
// 2, 4, 6 dual, anything else full colour, as the cards read it.
ColourKind CardColourKind(const CardParams& params);
// Rows of every offline picture: the card's height (bytes 2-3).
int CardHeight(const CardParams& params);

// Bytes of a linear picture: one pass of (W x H + 7) / 8 bytes per colour
// (1 single, 2 dual, 3 full). Negative sizes count as empty.
std::uint64_t PictureBytes(QSize size, ColourKind kind);

// The exact inverse of EncodeOfflineFrame (and its three-pass full-colour
// counterpart): RGB888, each channel the kind carries 0 or 255. A null image
// when the size is empty or `data` is shorter than PictureBytes.
QImage DecodeOfflinePicture(std::span<const std::uint8_t> data, QSize size, ColourKind kind);

// One playable record, located and checked, its picture not yet decoded (a
// flash of tiny records would otherwise hold hundreds of thousands of
// pictures at once).
struct OfflineRecord {
    std::uint32_t address = 0; // flash byte address of the header
    std::uint32_t offset = 0;  // file offset (subtitles; 0 for the advertisement)
    // Clamped to what the cards can play; out-of-range values are problems.
    int effect = 0;
    int speed = kMinSpeed;
    int pause = 0;
    QSize size; // card orientation: extent x card height
    std::uint64_t dataBytes = 0;
};

struct OfflineProgramme {
    std::optional<OfflineRecord> advert;
    std::vector<OfflineRecord> subtitles; // chain order, across scripts
    QStringList problems;                 // what could not be read, where
    bool empty() const { return !advert && subtitles.empty(); }
};

// Reads the advertisement and follows the subtitle chain from offset 4096
// until an erased header or the first record that does not fit the chain.
// Bytes past the end of `flash` (up to SimCard::kFlashSize) read as erased,
// as a card's unwritten flash does; bytes past kFlashSize are not flash.
OfflineProgramme ReadOfflineProgramme(std::span<const std::uint8_t> flash,
                                      const CardParams& params);

// The record's picture in card orientation (extent columns, card height rows);
// null when the flash no longer holds it or no memory is left for it.
QImage DecodeRecord(std::span<const std::uint8_t> flash, const CardParams& params,
                    const OfflineRecord& record);

} // namespace offline
