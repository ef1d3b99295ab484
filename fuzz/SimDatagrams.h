#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The simulated card's fuzz input is a run of datagrams, each a two-byte
// little-endian length and its bytes, so that state built by one command
// (parameters, display memory) meets the next one. The seed generator writes
// the same form.

inline std::vector<std::span<const std::uint8_t>> SplitDatagrams(const std::uint8_t* data,
                                                                 std::size_t size) {
    std::vector<std::span<const std::uint8_t>> out;
    std::size_t pos = 0;
    while (pos + 2 <= size) {
        const std::size_t length = data[pos] | (data[pos + 1] << 8);
        pos += 2;
        const std::size_t take = length < size - pos ? length : size - pos;
        out.emplace_back(data + pos, take);
        pos += take;
    }
    return out;
}

inline void AppendDatagram(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> datagram) {
    out.push_back(static_cast<std::uint8_t>(datagram.size() & 0xFF));
    out.push_back(static_cast<std::uint8_t>(datagram.size() >> 8));
    out.insert(out.end(), datagram.begin(), datagram.end());
}
