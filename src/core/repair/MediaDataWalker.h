// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Walks the media data of a recording whose index was never written (power lost while recording),
// recognising each sample from its own bytes, in file order:
//   - video: H.264 units with a length prefix; the lengths must chain exactly and each unit's header
//     must be one the camera writes. A frame starts at a delimiter, parameter set or SEI after a
//     slice, or at a slice whose first macroblock is 0; a frame holding an IDR slice is a sync sample.
//   - telemetry: fixed-size chunks that begin with the lead bytes of the reference's chunks.
// The walk reads sequentially in large blocks with bounded memory. When the reference has sound, bytes
// it cannot place are taken for a sound chunk (raw AAC, which carries no length of its own): the walk
// looks a bounded distance ahead for the next telemetry chunk or frame, checked over two units, and
// passes the bytes between as a gap. Otherwise, or when nothing is found there, it stops at them. A
// frame or chunk that the end of the file cuts is left out.

#include "core/telemetry/ORBByteSource.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace nura {

struct MediaDataPattern {
    int nalLengthSize = 4;                // 1, 2 or 4, from the reference's avcC
    size_t telemetryChunkSize = 0;        // 0: the reference has no telemetry track
    std::vector<std::byte> telemetryLead; // the first bytes of every telemetry chunk
    uint64_t soundChunkMax = 0;           // the reference's largest sound chunk; 0: it has no sound
    uint64_t largestFrame = 0;            // the reference's largest video sample
};

class MediaDataReceiver {
public:
    virtual ~MediaDataReceiver() = default;
    // Each returns false to end the walk (the output cannot be written).
    virtual bool videoSample(std::span<const std::byte> bytes, bool sync) = 0;
    virtual bool telemetryChunk(std::span<const std::byte> bytes) = 0;
    // Bytes between two samples that belong to neither (sound, which is left out).
    virtual bool gap(uint64_t size) = 0;
};

class MediaDataWalker {
public:
    static constexpr size_t kReadBlock = size_t{4} << 20;
    static constexpr size_t kMaxSampleBytes = size_t{16} << 20; // far above any frame the camera writes

    enum class Stop {
        EndOfData,    // the data ends on a sample boundary
        CutSample,    // the data ends inside a frame, unit or chunk, which is left out
        UnknownBytes, // bytes that are neither a frame nor a telemetry chunk
        ReadFailed,
        ReceiverFailed,
    };

    struct Result {
        Stop stop = Stop::EndOfData;
        uint64_t stoppedAt = 0;    // file position of the first byte not recovered
        uint64_t recoveredEnd = 0; // end of the last whole sample (== stoppedAt)
        size_t videoSamples = 0;
        size_t syncSamples = 0;
        size_t telemetryChunks = 0;
        size_t gaps = 0; // sound chunks passed over
        uint64_t gapBytes = 0;
    };

    explicit MediaDataWalker(MediaDataPattern pattern) : m_pattern(std::move(pattern)) {}

    // Walks [start, end) of the source; end is normally the file's size.
    Result walk(ORBByteSource& source, uint64_t start, uint64_t end, MediaDataReceiver& receiver);

    static std::string_view describe(Stop stop);

private:
    MediaDataPattern m_pattern;
};

} // namespace nura
