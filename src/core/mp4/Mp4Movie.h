// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sample tables of a whole recording, read from its movie box: what a repair takes from its
// reference and what a lossless cut reads from its source. Every length is checked against the box
// that holds it; a movie larger than kMaxMovieBytes is refused rather than read.

#include "core/mp4/CameraMp4Writer.h"
#include "core/telemetry/ORBByteSource.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nura {

struct Mp4Track {
    std::string handlerType; // "vide", "soun", "gps ", ...
    std::string handlerName;
    uint32_t trackId = 0;
    uint32_t timescale = 0;
    uint16_t language = 0x55C4;
    uint16_t width = 0, height = 0; // from tkhd, whole pixels
    uint16_t volume = 0;
    bool hasEditList = false;
    int64_t editMediaTime = 0; // where the edit list's first segment starts in the media, 0 without one
    std::vector<std::byte> sampleEntry;                  // the first stsd entry, a whole box
    std::vector<std::pair<uint32_t, uint32_t>> timeRuns; // stts (count, delta)
    std::vector<int32_t> compositionOffsets;             // ctts, one per sample; empty without one
    std::vector<uint32_t> syncSamples;                   // 1-based; empty with hasSyncTable false: all
    bool hasSyncTable = false;
    uint32_t uniformSampleSize = 0;    // stsz's single size, 0 when sizes are listed
    std::vector<uint32_t> sampleSizes; // one per sample either way
    std::vector<uint64_t> chunkOffsets;
    std::vector<uint32_t> samplesPerChunk; // expanded from stsc, one per chunk

    size_t sampleCount() const { return sampleSizes.size(); }
    // The delta most samples have (the frame duration of a camera's constant-rate video).
    uint32_t commonDelta() const;
    // NAL length size from an avc1 entry's avcC (1, 2 or 4), or 0 when the entry is not H.264.
    int nalLengthSize() const;
};

struct Mp4MovieChild {
    std::string type;
    std::vector<std::byte> box; // the whole box as stored
    int track = -1;             // index into tracks for "trak"
};

struct Mp4Movie {
    static constexpr uint64_t kMaxMovieBytes = uint64_t{64} << 20;
    static constexpr size_t kMaxSamples = 4'000'000;

    uint32_t timescale = 0;
    std::vector<Mp4MovieChild> children; // in file order
    std::vector<Mp4Track> tracks;
    std::vector<std::byte> fileType; // the whole ftyp box

    // First track with this handler type, or -1.
    int findTrack(const std::string& handlerType) const;

    // Reads the movie of a file laid out as top-level boxes; nothing when the file has no whole
    // movie box or its tables do not hold together.
    static std::optional<Mp4Movie> read(ORBByteSource& source);
    static std::optional<Mp4Movie> parse(std::span<const std::byte> moov, std::vector<std::byte> fileType);
};

// How the writer should set up a track to write it as `track` was written: handler, time scale,
// picture size, sample entry, which tables it had and its largest chunk.
Mp4TrackSetup trackSetupOf(const Mp4Track& track);

} // namespace nura
