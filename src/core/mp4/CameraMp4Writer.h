// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes MP4 files in the camera's own layout: "ftyp", one "mdat" streamed to the sink as samples
// arrive, then "moov" built from the sample tables gathered on the way. The camera's movie holds
// mvhd, the video track, udta, free and, as the fifth child, the telemetry track, whose every chunk is
// one record; the telemetry reader finds that track by its place, so the order of the movie's
// children is part of the format (see Mp4MovieItem).
//
// Used by the demo-card and test writers (frames made here), the repair of a recording cut short
// (samples found in the old file's media data) and lossless cuts (samples copied from a recording).

#include "core/mp4/Mp4Sink.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nura {

struct Mp4TrackSetup {
    std::string handlerType = "vide"; // "vide", "soun", or the telemetry track's "gps "
    std::string handlerName = "VideoHandler";
    uint32_t timescale = 30000;
    uint16_t width = 0, height = 0;     // the picture size in tkhd (0 for tracks without pictures)
    uint16_t volume = 0;                // tkhd volume (8.8 fixed point), 0x0100 for sound
    uint16_t language = 0x55C4;         // "und", packed as three 5-bit letters
    std::vector<std::byte> sampleEntry; // the one entry of stsd, a whole box ("avc1" with its avcC, ...)
    bool editList = false;              // an edit list of one segment covering the track
    // Where the track's shown part starts in its media: after the composition delay of reordered
    // frames, or inside the first sound frame of a cut. Below 0 the track starts that much later.
    // Not 0 writes an edit list whatever `editList` says.
    int64_t editMediaTime = 0;
    bool syncTable = false;          // write stss (tracks whose every sample is a sync sample leave it out)
    bool uniformSizeTable = false;   // a single stsz size when every sample has the same size
    uint32_t maxSamplesPerChunk = 0; // 0: a chunk is every run of consecutive samples of the track
};

// One child of the movie box, in the order written.
struct Mp4MovieItem {
    enum class Kind { MovieHeader, Track, Box };
    Kind kind = Kind::Box;
    size_t track = 0;           // for Track: index into the writer's tracks
    std::vector<std::byte> box; // for Box: the whole box, copied as it is
};

struct Mp4BoxPlacement {
    std::string path; // e.g. "moov/trak[2]/mdia/minf/stbl/stco"
    uint64_t offset = 0;
    uint64_t size = 0;
};

class CameraMp4Writer {
public:
    CameraMp4Writer(Mp4Sink& sink, std::vector<Mp4TrackSetup> tracks);

    // The camera's file type box: major brand avc1, compatible avc1 and isom.
    static std::vector<std::byte> cameraFileType();
    // A stsd entry for H.264 with 4-byte NAL lengths and one SPS and one PPS.
    static std::vector<std::byte> avc1SampleEntry(uint16_t width, uint16_t height,
                                                  std::span<const std::byte> sps,
                                                  std::span<const std::byte> pps);
    // The telemetry track's stsd entry.
    static std::vector<std::byte> gpsSampleEntry();
    // The camera's movie: mvhd, the video track, an empty udta, free, then the telemetry track.
    static std::vector<Mp4MovieItem> cameraMovie(size_t videoTrack, size_t dataTrack);
    static std::vector<std::byte> freeBox(size_t payloadBytes);

    // Writes the file type box as given, then the media data's header.
    bool begin(std::span<const std::byte> fileTypeBox);
    // Appends one sample to the media data. `duration` is in the track's time scale.
    bool appendSample(size_t track, std::span<const std::byte> bytes, uint32_t duration, bool sync);
    // Same, for a sample whose bytes the caller places at its position afterwards (a copy between
    // files in the kernel): the tables are updated and the sink moves past `size` bytes.
    // `compositionOffset` is how much later than it is decoded the sample is shown (B-frames).
    bool noteSample(size_t track, uint64_t size, uint32_t duration, bool sync, int32_t compositionOffset = 0);
    // Moves past `size` bytes of media data that belong to no sample (sound a repair leaves out); the
    // caller places them with the rest. The next sample begins a chunk of its own.
    bool noteGap(uint64_t size);
    // Sets the media data's size and writes the movie box. Nothing may be appended afterwards.
    bool finish(std::span<const Mp4MovieItem> movie, uint32_t movieTimescale = 1000);

    Mp4Sink& sink() { return m_sink; }
    // Where the media data's first byte lies in the output.
    uint64_t mediaDataStart() const { return m_mdatStart + 8; }
    const std::vector<Mp4BoxPlacement>& boxes() const { return m_boxes; }
    size_t sampleCount(size_t track) const { return m_tracks.at(track).sizes.size(); }
    const std::vector<uint64_t>& chunkOffsets(size_t track) const { return m_tracks.at(track).chunkOffsets; }
    // The track's duration in its own time scale.
    uint64_t mediaDuration(size_t track) const { return m_tracks.at(track).duration; }

private:
    struct Track {
        Mp4TrackSetup setup;
        std::vector<uint32_t> sizes;
        std::vector<std::pair<uint32_t, uint32_t>> timeRuns;  // (count, delta)
        std::vector<std::pair<uint32_t, int32_t>> offsetRuns; // (count, composition offset)
        bool reordered = false;                               // some offset is not 0
        int64_t shownEnd = 0;                                 // latest end of a sample as shown
        std::vector<uint32_t> syncSamples;                    // 1-based
        std::vector<uint64_t> chunkOffsets;
        std::vector<uint32_t> samplesInChunk;
        uint64_t duration = 0;
    };

    bool record(size_t track, uint64_t size, uint32_t duration, bool sync, int32_t compositionOffset);
    // The time the track is shown for, from its edit's start, in its own time scale.
    static uint64_t shownDuration(const Track& t);
    void writeTrack(class Mp4BoxBuilder& b, const Track& t, uint32_t trackId, uint32_t movieTimescale) const;

    Mp4Sink& m_sink;
    std::vector<Track> m_tracks;
    std::vector<Mp4BoxPlacement> m_boxes;
    uint64_t m_mdatStart = 0;
    size_t m_lastTrack = SIZE_MAX;
    bool m_begun = false;
    bool m_finished = false;
    bool m_failed = false;
};

} // namespace nura
