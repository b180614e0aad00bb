// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The H.264 parameter sets a recording was encoded with: from a track's sample entry, or from the units
// of its frames, where the camera repeats them before each key frame. A repair compares the two so that
// a reference made with other settings is never used.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace nura {

struct ParameterSets {
    std::vector<std::byte> sps; // the first sequence parameter set, its header byte included
    std::vector<std::byte> pps; // the first picture parameter set

    bool complete() const { return !sps.empty() && !pps.empty(); }
};

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};

// The parameter sets of an "avc1" sample entry's "avcC"; nothing when the entry holds none.
std::optional<ParameterSets> parameterSetsOfSampleEntry(std::span<const std::byte> sampleEntry);

// Takes the first SPS and PPS among a frame's units (each after a big-endian length of `lengthSize`
// bytes) that `sets` does not hold yet.
void collectParameterSets(std::span<const std::byte> frame, int lengthSize, ParameterSets& sets);

// The picture size an SPS gives, cropping applied; nothing when it cannot be read.
std::optional<PictureSize> pictureSizeOf(std::span<const std::byte> sps);

} // namespace nura
