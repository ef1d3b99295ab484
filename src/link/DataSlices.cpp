#include "DataSlices.h"

#include "Commands.h"

SliceCounts SliceCountsOf(int planeLength) {
    if (planeLength <= 0) {
        return {};
    }
    return {planeLength / kSlicePayload, planeLength % kSlicePayload};
}

std::vector<DataSlice> SlicePlane(int planeLength, std::uint16_t startUnit) {
    const SliceCounts counts = SliceCountsOf(planeLength);
    std::vector<DataSlice> slices;
    slices.reserve(static_cast<std::size_t>(counts.fullSlices) + 1);
    // The address field has 16 bits; it wraps like the card's own counter would.
    std::uint16_t unit = startUnit;
    for (int k = 0; k < counts.fullSlices; ++k) {
        slices.push_back({k, false, k * kSlicePayload, kSlicePayload, unit});
        unit = static_cast<std::uint16_t>(unit + kSlicePayload / 256);
    }
    if (counts.lastSliceBytes > 0) {
        slices.push_back({counts.fullSlices, true, counts.fullSlices * kSlicePayload,
                          counts.lastSliceBytes, unit});
    }
    return slices;
}
