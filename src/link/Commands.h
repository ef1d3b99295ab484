#pragma once

#include "MacAddress.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

// The datagrams the station sends to the controller cards. Every command names
// its card by MAC except Search; numbers are little-endian except the length of
// WriteData.

// The reply a sender waits for; the listener reads arriving datagrams by it.
enum AwaitedCode : int {
    kAwaitCardInfo = 0,     // Search: card information datagrams
    kAwaitConnect = 1,      // "连接成功"
    kAwaitDisconnect = 2,   // "已经断开"
    kAwaitWritten = 3,      // "写入flash成功" / "写入sram成功" + sequence byte
    kAwaitSwapped = 4,      // "交换成功" + sequence byte
    kAwaitParameters = 8,   // "写flash成功"
    kAwaitSyncMode = 9,     // "控制卡同步模式"
    kAwaitOfflineMode = 10, // "控制卡脱机模式"
    kAwaitAssigned = 25,    // "设置成功"
    kAwaitNothing = 254,    // Brightness: every datagram is ignored
};

inline constexpr int kCommandBufferSize = 1039;
inline constexpr int kSlicePayload = 1024;
inline constexpr int kParamBlockSize = 512;

// One datagram ready to leave: its bytes, the reply to await and, for commands
// that carry one, the sequence byte the reply must repeat.
struct Command {
    std::vector<std::uint8_t> bytes;
    int awaited = kAwaitNothing;
    std::optional<std::uint8_t> seq;
};

// The 8-bit sequence counter all screens share. Take() returns the current
// value and advances it; 255 is followed by 0. Safe from any thread.
class PacketSeq {
public:
    std::uint8_t Take() { return m_next.fetch_add(1, std::memory_order_relaxed); }
    std::uint8_t Peek() const { return m_next.load(std::memory_order_relaxed); }
    void Set(std::uint8_t value) { m_next.store(value, std::memory_order_relaxed); }

private:
    std::atomic<std::uint8_t> m_next{0};
};

// The one command buffer every sender of every screen writes into. A command
// writes only its own bytes; the positions a command leaves unset keep what the
// previous command wrote there, and the cards ignore them. Builders may be
// called from any thread: the worker's senders build for their screens at the
// same time, so each builder writes, takes its sequence byte and copies the
// datagram under the buffer's lock, and a command never carries another's
// head, address or data.
class CommandBuffer {
public:
    // Decides whether a command may carry a sequence byte: one it refuses is
    // skipped (taken from the counter and never sent), and the next is offered.
    // Lets a sender with several commands outstanding on a screen keep their
    // bytes apart. Called under the buffer's lock; after kSeqClaimTries
    // refusals the last byte offered is used unclaimed.
    using SeqClaim = std::function<bool(std::uint8_t seq)>;
    static constexpr int kSeqClaimTries = 1024;

    explicit CommandBuffer(PacketSeq& seq);

    Command Search();
    Command Connect(const MacAddress& mac);
    // startOffline: "yes" - the card starts its offline programme by itself after
    // the disconnection; otherwise "no" and byte 10 is left as it was.
    Command Disconnect(const MacAddress& mac, bool startOffline);
    Command SyncMode(const MacAddress& mac);
    Command OfflineMode(const MacAddress& mac);
    // level 0..16 (kept within that range).
    Command Brightness(const MacAddress& mac, int level);
    // screenIndex: 0 horizontal, 1 vertical, 2 small.
    Command AssignScreen(const MacAddress& mac, int screenIndex);
    // One slice of a live data plane at `unit` (256-byte units); at most 1024
    // bytes of `data` are taken, the rest of the payload keeps older bytes.
    // Takes the next sequence byte (the next `claim` accepts, when given).
    Command WriteData(const MacAddress& mac, std::uint16_t unit, std::span<const std::uint8_t> data,
                      const SeqClaim& claim = {});
    // Shows the frame just written. extent: line extent in pixels (clamped to
    // 16 bits). Takes a sequence byte as WriteData does.
    Command SwapBuffer(const MacAddress& mac, int effect, int speed, int stay, int extent,
                       const SeqClaim& claim = {});
    // One block of offline content at a flash byte address; at most 1024 bytes.
    // Takes the next sequence byte.
    Command WriteFlash(const MacAddress& mac, std::uint32_t address,
                       std::span<const std::uint8_t> data);
    Command LoadParameters(const MacAddress& mac,
                           std::span<const std::uint8_t, kParamBlockSize> block);

    // A copy of the whole buffer, for tests of the unset positions.
    std::array<std::uint8_t, kCommandBufferSize> Snapshot() const;

private:
    void Head(std::uint8_t code, const MacAddress* mac);
    Command Take(std::size_t length, int awaited, bool withSeq, const SeqClaim& claim = {});

    PacketSeq& m_seq;
    mutable std::mutex m_mutex;
    std::array<std::uint8_t, kCommandBufferSize> m_buffer{};
};
