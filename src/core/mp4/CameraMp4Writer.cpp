// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mp4/CameraMp4Writer.h"

#include "core/mp4/Mp4BoxBuilder.h"
#include "core/telemetry/ByteOrder.h"

#include <algorithm>
#include <array>
#include <limits>

namespace nura {
namespace {

// The camera writes to FAT32 and its reader computes positions in 32 bits: nothing reaches 4 GiB.
constexpr uint64_t kPositionLimit = uint64_t{1} << 32;

uint32_t toMovieScale(uint64_t duration, uint32_t timescale, uint32_t movieTimescale) {
    if (timescale == 0) {
        return 0;
    }
    const uint64_t d = duration * movieTimescale / timescale;
    return static_cast<uint32_t>(std::min<uint64_t>(d, std::numeric_limits<uint32_t>::max()));
}

void writeDataReference(Mp4BoxBuilder& b) {
    b.begin("dinf");
    b.beginFull("dref", 0, 0);
    b.u32(1);
    b.beginFull("url ", 0, 1); // the media is in this file
    b.end();
    b.end();
    b.end();
}

} // namespace

CameraMp4Writer::CameraMp4Writer(Mp4Sink& sink, std::vector<Mp4TrackSetup> tracks) : m_sink(sink) {
    for (auto& setup : tracks) {
        Track t;
        t.setup = std::move(setup);
        m_tracks.push_back(std::move(t));
    }
}

std::vector<std::byte> CameraMp4Writer::cameraFileType() {
    Mp4BoxBuilder b;
    b.begin("ftyp");
    b.fourcc("avc1");
    b.u32(0);
    b.fourcc("avc1");
    b.fourcc("isom");
    b.end();
    return std::move(b.buffer());
}

std::vector<std::byte> CameraMp4Writer::avc1SampleEntry(uint16_t width, uint16_t height,
                                                        std::span<const std::byte> sps,
                                                        std::span<const std::byte> pps) {
    Mp4BoxBuilder b;
    b.begin("avc1");
    b.zeros(6);
    b.u16(1); // data reference index
    b.zeros(16);
    b.u16(width);
    b.u16(height);
    b.u32(0x00480000); // 72 dpi
    b.u32(0x00480000);
    b.u32(0);
    b.u16(1); // frames per sample
    b.zeros(32);
    b.u16(0x18); // depth
    b.u16(0xFFFF);
    b.begin("avcC");
    b.u8(1);
    b.u8(sps.size() > 1 ? static_cast<uint8_t>(sps[1]) : 66);
    b.u8(sps.size() > 2 ? static_cast<uint8_t>(sps[2]) : 0);
    b.u8(sps.size() > 3 ? static_cast<uint8_t>(sps[3]) : 30);
    b.u8(0xFF); // 4-byte NAL lengths
    b.u8(0xE1); // one SPS
    b.u16(static_cast<uint16_t>(sps.size()));
    b.bytes(sps);
    b.u8(1);
    b.u16(static_cast<uint16_t>(pps.size()));
    b.bytes(pps);
    b.end();
    b.end();
    return std::move(b.buffer());
}

std::vector<std::byte> CameraMp4Writer::gpsSampleEntry() {
    Mp4BoxBuilder b;
    b.begin("gps ");
    b.zeros(6);
    b.u16(1);
    b.end();
    return std::move(b.buffer());
}

std::vector<std::byte> CameraMp4Writer::freeBox(size_t payloadBytes) {
    Mp4BoxBuilder b;
    b.begin("free");
    b.zeros(payloadBytes);
    b.end();
    return std::move(b.buffer());
}

std::vector<Mp4MovieItem> CameraMp4Writer::cameraMovie(size_t videoTrack, size_t dataTrack) {
    Mp4BoxBuilder udta;
    udta.begin("udta");
    udta.end();
    std::vector<Mp4MovieItem> items;
    items.push_back({Mp4MovieItem::Kind::MovieHeader, 0, {}});
    items.push_back({Mp4MovieItem::Kind::Track, videoTrack, {}});
    items.push_back({Mp4MovieItem::Kind::Box, 0, std::move(udta.buffer())});
    items.push_back({Mp4MovieItem::Kind::Box, 0, freeBox(8)});
    items.push_back({Mp4MovieItem::Kind::Track, dataTrack, {}});
    return items;
}

bool CameraMp4Writer::begin(std::span<const std::byte> fileTypeBox) {
    if (m_begun || !m_sink.write(fileTypeBox)) {
        m_failed = true;
        return false;
    }
    m_begun = true;
    m_boxes.push_back({"ftyp", 0, fileTypeBox.size()});
    m_mdatStart = m_sink.position();
    // The size is set by finish(); a file left unfinished reads as media data to its end.
    const std::array<std::byte, 8> header{std::byte{0},   std::byte{0},   std::byte{0},   std::byte{0},
                                          std::byte{'m'}, std::byte{'d'}, std::byte{'a'}, std::byte{'t'}};
    if (!m_sink.write(header)) {
        m_failed = true;
    }
    return !m_failed;
}

bool CameraMp4Writer::record(size_t track, uint64_t size, uint32_t duration, bool sync,
                             int32_t compositionOffset) {
    if (!m_begun || m_finished || m_failed || track >= m_tracks.size() || size > 0xFFFFFFFFu) {
        m_failed = true;
        return false;
    }
    Track& t = m_tracks[track];
    const uint64_t offset = m_sink.position();
    const bool sameChunk =
        m_lastTrack == track && !t.samplesInChunk.empty() &&
        (t.setup.maxSamplesPerChunk == 0 || t.samplesInChunk.back() < t.setup.maxSamplesPerChunk);
    if (!sameChunk) {
        t.chunkOffsets.push_back(offset);
        t.samplesInChunk.push_back(0);
    }
    ++t.samplesInChunk.back();
    m_lastTrack = track;
    t.sizes.push_back(static_cast<uint32_t>(size));
    if (!t.timeRuns.empty() && t.timeRuns.back().second == duration) {
        ++t.timeRuns.back().first;
    } else {
        t.timeRuns.emplace_back(1, duration);
    }
    if (!t.offsetRuns.empty() && t.offsetRuns.back().second == compositionOffset) {
        ++t.offsetRuns.back().first;
    } else {
        t.offsetRuns.emplace_back(1, compositionOffset);
    }
    t.reordered = t.reordered || compositionOffset != 0;
    t.shownEnd = std::max(t.shownEnd, static_cast<int64_t>(t.duration) + compositionOffset + duration);
    t.duration += duration;
    if (sync) {
        t.syncSamples.push_back(static_cast<uint32_t>(t.sizes.size()));
    }
    return true;
}

uint64_t CameraMp4Writer::shownDuration(const Track& t) {
    const int64_t shown = t.shownEnd - std::max<int64_t>(t.setup.editMediaTime, 0);
    return shown > 0 ? static_cast<uint64_t>(shown) : 0;
}

bool CameraMp4Writer::noteSample(size_t track, uint64_t size, uint32_t duration, bool sync,
                                 int32_t compositionOffset) {
    if (!record(track, size, duration, sync, compositionOffset)) {
        return false;
    }
    if (!m_sink.reserve(size)) {
        m_failed = true;
    }
    return !m_failed;
}

bool CameraMp4Writer::noteGap(uint64_t size) {
    if (!m_begun || m_finished || m_failed) {
        m_failed = true;
        return false;
    }
    if (!m_sink.reserve(size)) {
        m_failed = true;
    }
    m_lastTrack = SIZE_MAX; // a chunk's samples lie next to each other
    return !m_failed;
}

bool CameraMp4Writer::appendSample(size_t track, std::span<const std::byte> bytes, uint32_t duration,
                                   bool sync) {
    if (!record(track, bytes.size(), duration, sync, 0)) {
        return false;
    }
    if (!m_sink.write(bytes)) {
        m_failed = true;
    }
    return !m_failed;
}

void CameraMp4Writer::writeTrack(Mp4BoxBuilder& b, const Track& t, uint32_t trackId,
                                 uint32_t movieTimescale) const {
    const Mp4TrackSetup& s = t.setup;
    const bool edited = s.editList || s.editMediaTime != 0;
    // A track that starts later waits for an empty segment first.
    const uint32_t delay = s.editMediaTime < 0 ? toMovieScale(static_cast<uint64_t>(-s.editMediaTime),
                                                              s.timescale, movieTimescale)
                                               : 0;
    const uint32_t shown = toMovieScale(shownDuration(t), s.timescale, movieTimescale);
    const uint32_t movieDuration =
        edited ? delay + shown : toMovieScale(t.duration, s.timescale, movieTimescale);
    b.begin("trak");
    b.beginFull("tkhd", 0, 3); // enabled, in movie
    b.u32(0);                  // creation time
    b.u32(0);                  // modification time
    b.u32(trackId);
    b.u32(0);
    b.u32(movieDuration);
    b.zeros(8);
    b.u16(0); // layer
    b.u16(0); // alternate group
    b.u16(s.volume);
    b.u16(0);
    b.matrix();
    b.u32(static_cast<uint32_t>(s.width) << 16);
    b.u32(static_cast<uint32_t>(s.height) << 16);
    b.end();
    if (edited) {
        b.begin("edts");
        b.beginFull("elst", 0, 0);
        b.u32(delay != 0 ? 2 : 1);
        if (delay != 0) {
            b.u32(delay);
            b.u32(0xFFFFFFFF); // empty: nothing shown
            b.u32(0x00010000);
        }
        b.u32(shown);
        b.u32(static_cast<uint32_t>(std::max<int64_t>(s.editMediaTime, 0))); // media time
        b.u32(0x00010000);                                                   // rate 1.0
        b.end();
        b.end();
    }
    b.begin("mdia");
    b.beginFull("mdhd", 0, 0);
    b.u32(0);
    b.u32(0);
    b.u32(s.timescale);
    b.u32(static_cast<uint32_t>(std::min<uint64_t>(t.duration, std::numeric_limits<uint32_t>::max())));
    b.u16(s.language);
    b.u16(0);
    b.end();
    b.beginFull("hdlr", 0, 0);
    b.u32(0);
    b.fourcc(s.handlerType);
    b.zeros(12);
    b.text(s.handlerName);
    b.end();
    b.begin("minf");
    if (s.handlerType == "vide") {
        b.beginFull("vmhd", 0, 1);
        b.zeros(8);
    } else if (s.handlerType == "soun") {
        b.beginFull("smhd", 0, 0);
        b.zeros(4);
    } else {
        b.beginFull("nmhd", 0, 0);
    }
    b.end();
    writeDataReference(b);
    b.begin("stbl");

    b.beginFull("stsd", 0, 0);
    b.u32(1);
    b.bytes(s.sampleEntry);
    b.end();

    b.beginFull("stts", 0, 0);
    b.u32(static_cast<uint32_t>(t.timeRuns.size()));
    for (const auto& [count, delta] : t.timeRuns) {
        b.u32(count);
        b.u32(delta);
    }
    b.end();

    if (t.reordered) {
        // Offsets below 0 need the signed form of the table.
        const bool signedOffsets = std::any_of(t.offsetRuns.begin(), t.offsetRuns.end(),
                                               [](const auto& run) { return run.second < 0; });
        b.beginFull("ctts", signedOffsets ? 1 : 0, 0);
        b.u32(static_cast<uint32_t>(t.offsetRuns.size()));
        for (const auto& [count, offset] : t.offsetRuns) {
            b.u32(count);
            b.u32(static_cast<uint32_t>(offset));
        }
        b.end();
    }

    if (s.syncTable) {
        b.beginFull("stss", 0, 0);
        b.u32(static_cast<uint32_t>(t.syncSamples.size()));
        for (uint32_t n : t.syncSamples) {
            b.u32(n);
        }
        b.end();
    }

    b.beginFull("stsc", 0, 0);
    size_t runs = 0;
    for (size_t c = 0; c < t.samplesInChunk.size(); ++c) {
        runs += c == 0 || t.samplesInChunk[c] != t.samplesInChunk[c - 1];
    }
    b.u32(static_cast<uint32_t>(runs));
    for (size_t c = 0; c < t.samplesInChunk.size(); ++c) {
        if (c == 0 || t.samplesInChunk[c] != t.samplesInChunk[c - 1]) {
            b.u32(static_cast<uint32_t>(c + 1));
            b.u32(t.samplesInChunk[c]);
            b.u32(1); // sample description index
        }
    }
    b.end();

    b.beginFull("stsz", 0, 0);
    const bool uniform =
        s.uniformSizeTable && !t.sizes.empty() &&
        std::all_of(t.sizes.begin(), t.sizes.end(), [&](uint32_t v) { return v == t.sizes[0]; });
    b.u32(uniform ? t.sizes[0] : 0);
    b.u32(static_cast<uint32_t>(t.sizes.size()));
    if (!uniform) {
        for (uint32_t v : t.sizes) {
            b.u32(v);
        }
    }
    b.end();

    b.beginFull("stco", 0, 0);
    b.u32(static_cast<uint32_t>(t.chunkOffsets.size()));
    for (uint64_t o : t.chunkOffsets) {
        b.u32(static_cast<uint32_t>(o));
    }
    b.end();

    b.end(); // stbl
    b.end(); // minf
    b.end(); // mdia
    b.end(); // trak
}

bool CameraMp4Writer::finish(std::span<const Mp4MovieItem> movie, uint32_t movieTimescale) {
    if (!m_begun || m_finished || m_failed) {
        return false;
    }
    m_finished = true;
    const uint64_t moovStart = m_sink.position();
    const uint64_t mdatSize = moovStart - m_mdatStart;
    if (moovStart >= kPositionLimit) {
        m_failed = true;
        return false;
    }
    std::array<std::byte, 4> sizeField{};
    bytes::writeU32BE(sizeField, 0, static_cast<uint32_t>(mdatSize));
    if (!m_sink.patch(m_mdatStart, sizeField)) {
        m_failed = true;
        return false;
    }
    m_boxes.push_back({"mdat", m_mdatStart, mdatSize});

    uint32_t movieDuration = 0;
    for (const auto& t : m_tracks) {
        const Mp4TrackSetup& s = t.setup;
        uint64_t d = t.duration;
        if (s.editList || s.editMediaTime != 0) {
            d = shownDuration(t) + static_cast<uint64_t>(std::max<int64_t>(-s.editMediaTime, 0));
        }
        movieDuration = std::max(movieDuration, toMovieScale(d, s.timescale, movieTimescale));
    }
    Mp4BoxBuilder b;
    b.begin("moov");
    for (const auto& item : movie) {
        switch (item.kind) {
        case Mp4MovieItem::Kind::MovieHeader:
            b.beginFull("mvhd", 0, 0);
            b.u32(0);
            b.u32(0);
            b.u32(movieTimescale);
            b.u32(movieDuration);
            b.u32(0x00010000); // rate
            b.u16(0x0100);     // volume
            b.zeros(10);
            b.matrix();
            b.zeros(24);
            b.u32(static_cast<uint32_t>(m_tracks.size() + 1)); // next track id
            b.end();
            break;
        case Mp4MovieItem::Kind::Track:
            if (item.track >= m_tracks.size()) {
                m_failed = true;
                return false;
            }
            writeTrack(b, m_tracks[item.track], static_cast<uint32_t>(item.track + 1), movieTimescale);
            break;
        case Mp4MovieItem::Kind::Box:
            b.rawBox(item.box);
            break;
        }
    }
    b.end();
    for (const auto& c : b.closed()) {
        m_boxes.push_back({c.path, moovStart + c.offset, c.size});
    }
    if (!m_sink.write(b.buffer()) || !m_sink.flush()) {
        m_failed = true;
        return false;
    }
    return true;
}

} // namespace nura
