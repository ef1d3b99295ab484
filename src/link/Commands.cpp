#include "Commands.h"

#include <algorithm>
#include <cstring>

CommandBuffer::CommandBuffer(PacketSeq& seq) : m_seq(seq) {}

void CommandBuffer::Head(std::uint8_t code, const MacAddress* mac) {
    m_buffer[0] = code;
    m_buffer[1] = code;
    if (mac != nullptr) {
        std::copy(mac->begin(), mac->end(), m_buffer.begin() + 2);
    }
}

Command CommandBuffer::Take(std::size_t length, int awaited, bool withSeq, const SeqClaim& claim) {
    Command command;
    command.awaited = awaited;
    if (withSeq) {
        std::uint8_t seq = m_seq.Take();
        for (int tries = 1; claim && !claim(seq) && tries < kSeqClaimTries; ++tries) {
            seq = m_seq.Take();
        }
        m_buffer[length - 1] = seq;
        command.seq = seq;
    }
    command.bytes.assign(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(length));
    return command;
}

Command CommandBuffer::Search() {
    std::lock_guard lock(m_mutex);
    Head(0x07, nullptr);
    return Take(2, kAwaitCardInfo, false);
}

Command CommandBuffer::Connect(const MacAddress& mac) {
    std::lock_guard lock(m_mutex);
    Head(0xA1, &mac);
    return Take(20, kAwaitConnect, false);
}

Command CommandBuffer::Disconnect(const MacAddress& mac, bool startOffline) {
    std::lock_guard lock(m_mutex);
    Head(0xA2, &mac);
    if (startOffline) {
        m_buffer[8] = 'y';
        m_buffer[9] = 'e';
        m_buffer[10] = 's';
    } else {
        m_buffer[8] = 'n';
        m_buffer[9] = 'o';
    }
    return Take(20, kAwaitDisconnect, false);
}

Command CommandBuffer::SyncMode(const MacAddress& mac) {
    std::lock_guard lock(m_mutex);
    Head(0x09, &mac);
    std::fill_n(m_buffer.begin() + 8, 4, std::uint8_t{0});
    return Take(20, kAwaitSyncMode, false);
}

Command CommandBuffer::OfflineMode(const MacAddress& mac) {
    std::lock_guard lock(m_mutex);
    Head(0x0A, &mac);
    std::fill_n(m_buffer.begin() + 8, 4, std::uint8_t{0});
    return Take(20, kAwaitOfflineMode, false);
}

Command CommandBuffer::Brightness(const MacAddress& mac, int level) {
    std::lock_guard lock(m_mutex);
    Head(0x18, &mac);
    m_buffer[8] = static_cast<std::uint8_t>(std::clamp(level, 0, 16));
    return Take(20, kAwaitNothing, false);
}

Command CommandBuffer::AssignScreen(const MacAddress& mac, int screenIndex) {
    std::lock_guard lock(m_mutex);
    Head(0x19, &mac);
    m_buffer[8] = static_cast<std::uint8_t>(screenIndex);
    m_buffer[9] = static_cast<std::uint8_t>(screenIndex);
    return Take(20, kAwaitAssigned, false);
}

Command CommandBuffer::WriteData(const MacAddress& mac, std::uint16_t unit,
                                 std::span<const std::uint8_t> data, const SeqClaim& claim) {
    const std::size_t valid = std::min<std::size_t>(data.size(), kSlicePayload);
    std::lock_guard lock(m_mutex);
    Head(0x03, &mac);
    m_buffer[8] = static_cast<std::uint8_t>(unit & 0xFF);
    m_buffer[9] = static_cast<std::uint8_t>(unit >> 8);
    m_buffer[10] = m_buffer[8];
    m_buffer[11] = m_buffer[9];
    // The one big-endian field of the protocol.
    m_buffer[12] = static_cast<std::uint8_t>(valid >> 8);
    m_buffer[13] = static_cast<std::uint8_t>(valid & 0xFF);
    if (valid > 0) {
        std::memcpy(m_buffer.data() + 14, data.data(), valid);
    }
    return Take(1039, kAwaitWritten, true, claim);
}

Command CommandBuffer::SwapBuffer(const MacAddress& mac, int effect, int speed, int stay,
                                  int extent, const SeqClaim& claim) {
    const int clamped = std::clamp(extent, 0, 0xFFFF);
    std::lock_guard lock(m_mutex);
    Head(0x04, &mac);
    m_buffer[8] = static_cast<std::uint8_t>(effect);
    m_buffer[9] = static_cast<std::uint8_t>(speed);
    m_buffer[10] = static_cast<std::uint8_t>(stay);
    m_buffer[11] = static_cast<std::uint8_t>(clamped & 0xFF);
    m_buffer[12] = static_cast<std::uint8_t>(clamped >> 8);
    return Take(14, kAwaitSwapped, true, claim);
}

Command CommandBuffer::WriteFlash(const MacAddress& mac, std::uint32_t address,
                                  std::span<const std::uint8_t> data) {
    const std::size_t valid = std::min<std::size_t>(data.size(), kSlicePayload);
    std::lock_guard lock(m_mutex);
    Head(0xA3, &mac);
    for (int i = 0; i < 4; ++i) {
        m_buffer[8 + i] = static_cast<std::uint8_t>(address >> (8 * i));
    }
    m_buffer[12] = static_cast<std::uint8_t>(valid & 0xFF);
    m_buffer[13] = static_cast<std::uint8_t>(valid >> 8);
    if (valid > 0) {
        std::memcpy(m_buffer.data() + 14, data.data(), valid);
    }
    return Take(1039, kAwaitWritten, true);
}

Command CommandBuffer::LoadParameters(const MacAddress& mac,
                                      std::span<const std::uint8_t, kParamBlockSize> block) {
    std::lock_guard lock(m_mutex);
    Head(0x08, &mac);
    std::copy(block.begin(), block.end(), m_buffer.begin() + 8);
    return Take(520, kAwaitParameters, false);
}

std::array<std::uint8_t, kCommandBufferSize> CommandBuffer::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_buffer;
}
