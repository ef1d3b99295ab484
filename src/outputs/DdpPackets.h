#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <vector>

// DDP (Distributed Display Protocol) as LED players take it over UDP: a
// 10-byte header (flags, sequence, data type, destination, data offset, data
// length, all numbers big-endian) and pixel bytes. A frame is the whole
// picture's bytes, cut into packets at consecutive offsets; the last packet
// carries PUSH, which tells the receiver to show what it has gathered.
namespace ddp {

constexpr int kDefaultPort = 4048;
constexpr int kHeaderBytes = 10;
// A multiple of 3, so no pixel is split between packets.
constexpr int kMaxDataBytes = 1440;

constexpr std::uint8_t kFlagVersion1 = 0x40;
constexpr std::uint8_t kFlagPush = 0x01;
// Bits 5..3 type 1 (RGB), bits 2..0 size 3 (8 bits a channel).
constexpr std::uint8_t kTypeRgb24 = 0x0B;
constexpr std::uint8_t kDestinationDisplay = 1;

// How the wall is wired and how bright it is driven.
struct PixelOptions {
    // Every second row (the 2nd, 4th...) runs right to left, as strips that
    // zig-zag down a wall are laid.
    bool serpentine = false;
    // Percent, 0..100: every channel is scaled by it.
    int brightness = 100;
    bool operator==(const PixelOptions&) const = default;
};

// The picture as 24-bit RGB, row by row from the top, left to right (or as
// the serpentine layout has it).
QByteArray PixelBytes(const QImage& picture, const PixelOptions& options);

// The frame's packets, each a whole datagram: kMaxDataBytes of `pixels` a
// packet, the last one shorter and with PUSH. `sequence` is 1..15 (0 means
// "no sequence" to receivers, so senders cycle through 1..15).
std::vector<QByteArray> FramePackets(const QByteArray& pixels, int sequence);

// The sequence number after `sequence`: 1, 2 .. 15, 1 ...
int NextSequence(int sequence);

} // namespace ddp
