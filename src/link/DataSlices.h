#pragma once

#include <cstdint>
#include <vector>

// How one live data plane is cut into WriteData slices: full slices of 1024
// bytes from the plane's start unit on, each advancing the address by 4 units of
// 256 bytes, then one short slice with the remaining bytes at the address that
// follows the last full slice.

inline constexpr std::uint16_t kPlane1Unit = 0;
inline constexpr std::uint16_t kPlane2Unit = 50; // byte 12800 of the card's memory

struct SliceCounts {
    int fullSlices = 0;     // PlaneLength / 1024
    int lastSliceBytes = 0; // PlaneLength % 1024
    bool operator==(const SliceCounts&) const = default;
};
SliceCounts SliceCountsOf(int planeLength);

struct DataSlice {
    int index = 0;          // k, counted from 0 over the full slices
    bool last = false;      // the short slice after the full ones
    int offset = 0;         // first plane byte
    int length = 0;         // valid bytes, 1..1024
    std::uint16_t unit = 0; // card memory address in 256-byte units
    bool operator==(const DataSlice&) const = default;
};
std::vector<DataSlice> SlicePlane(int planeLength, std::uint16_t startUnit);
