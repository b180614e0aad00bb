// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mp4/Mp4Movie.h"

#include "core/telemetry/ByteOrder.h"

#include <algorithm>
#include <array>
#include <map>
#include <new>

namespace nura {
namespace {

using Bytes = std::span<const std::byte>;

struct Box {
    std::string type;
    Bytes payload; // after the header
    Bytes whole;
};

// The boxes directly inside `b`, in order; false when a size does not fit its container.
bool childBoxes(Bytes b, std::vector<Box>& out) {
    size_t pos = 0;
    while (pos + 8 <= b.size()) {
        uint64_t size = bytes::readU32BE(b, pos);
        size_t header = 8;
        if (size == 1) {
            if (pos + 16 > b.size()) {
                return false;
            }
            size = uint64_t{bytes::readU32BE(b, pos + 8)} << 32 | bytes::readU32BE(b, pos + 12);
            header = 16;
        } else if (size == 0) {
            size = b.size() - pos;
        }
        if (size < header || size > b.size() - pos) {
            return false;
        }
        Box box;
        for (size_t k = 0; k < 4; ++k) {
            box.type.push_back(static_cast<char>(b[pos + 4 + k]));
        }
        box.whole = b.subspan(pos, static_cast<size_t>(size));
        box.payload = box.whole.subspan(header);
        out.push_back(box);
        pos += static_cast<size_t>(size);
    }
    return pos == b.size();
}

const Box* find(const std::vector<Box>& boxes, std::string_view type) {
    for (const auto& b : boxes) {
        if (b.type == type) {
            return &b;
        }
    }
    return nullptr;
}

// A full box's entry table: the count at `at` and then `count` entries of `entryBytes` each.
bool table(Bytes p, size_t at, size_t entryBytes, uint32_t& count) {
    if (p.size() < at + 4) {
        return false;
    }
    count = bytes::readU32BE(p, at);
    return count <= Mp4Movie::kMaxSamples && (p.size() - at - 4) / entryBytes >= count;
}

bool readSampleTable(Bytes stbl, Mp4Track& t) {
    std::vector<Box> boxes;
    if (!childBoxes(stbl, boxes)) {
        return false;
    }
    const Box* stsd = find(boxes, "stsd");
    const Box* stts = find(boxes, "stts");
    const Box* stsc = find(boxes, "stsc");
    const Box* stsz = find(boxes, "stsz");
    const Box* stco = find(boxes, "stco");
    const Box* co64 = find(boxes, "co64");
    if (!stsd || !stts || !stsc || !stsz || (!stco && !co64)) {
        return false;
    }
    std::vector<Box> entries;
    if (stsd->payload.size() < 8 || !childBoxes(stsd->payload.subspan(8), entries) || entries.empty()) {
        return false;
    }
    t.sampleEntry.assign(entries[0].whole.begin(), entries[0].whole.end());

    uint32_t n = 0;
    if (!table(stts->payload, 4, 8, n)) {
        return false;
    }
    uint64_t samples = 0;
    for (uint32_t i = 0; i < n; ++i) {
        t.timeRuns.emplace_back(bytes::readU32BE(stts->payload, 8 + 8 * i),
                                bytes::readU32BE(stts->payload, 12 + 8 * i));
        samples += t.timeRuns.back().first;
    }
    if (const Box* stss = find(boxes, "stss")) {
        if (!table(stss->payload, 4, 4, n)) {
            return false;
        }
        t.hasSyncTable = true;
        for (uint32_t i = 0; i < n; ++i) {
            t.syncSamples.push_back(bytes::readU32BE(stss->payload, 8 + 4 * i));
        }
    }
    if (const Box* ctts = find(boxes, "ctts")) {
        // Version 1 offsets are signed; version 0 ones are read the same way, as players do.
        if (!table(ctts->payload, 4, 8, n)) {
            return false;
        }
        uint64_t covered = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t runCount = bytes::readU32BE(ctts->payload, 8 + 8 * i);
            const auto offset = static_cast<int32_t>(bytes::readU32BE(ctts->payload, 12 + 8 * i));
            covered += runCount;
            if (covered > samples) {
                return false;
            }
            t.compositionOffsets.insert(t.compositionOffsets.end(), runCount, offset);
        }
        if (covered != samples) {
            return false;
        }
    }
    if (stsz->payload.size() < 12) {
        return false;
    }
    t.uniformSampleSize = bytes::readU32BE(stsz->payload, 4);
    const uint32_t count = bytes::readU32BE(stsz->payload, 8);
    if (count > Mp4Movie::kMaxSamples || count != samples) {
        return false;
    }
    if (t.uniformSampleSize != 0) {
        t.sampleSizes.assign(count, t.uniformSampleSize);
    } else {
        if (!table(stsz->payload, 8, 4, n)) {
            return false;
        }
        for (uint32_t i = 0; i < n; ++i) {
            t.sampleSizes.push_back(bytes::readU32BE(stsz->payload, 12 + 4 * i));
        }
    }
    if (stco) {
        if (!table(stco->payload, 4, 4, n)) {
            return false;
        }
        for (uint32_t i = 0; i < n; ++i) {
            t.chunkOffsets.push_back(bytes::readU32BE(stco->payload, 8 + 4 * i));
        }
    } else {
        if (!table(co64->payload, 4, 8, n)) {
            return false;
        }
        for (uint32_t i = 0; i < n; ++i) {
            t.chunkOffsets.push_back(uint64_t{bytes::readU32BE(co64->payload, 8 + 8 * i)} << 32 |
                                     bytes::readU32BE(co64->payload, 12 + 8 * i));
        }
    }
    // Sample-to-chunk runs, expanded to a count per chunk; they must account for every sample.
    if (!table(stsc->payload, 4, 12, n)) {
        return false;
    }
    uint64_t placed = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t first = bytes::readU32BE(stsc->payload, 8 + 12 * i);
        const uint32_t perChunk = bytes::readU32BE(stsc->payload, 12 + 12 * i);
        const uint64_t last =
            i + 1 < n ? bytes::readU32BE(stsc->payload, 20 + 12 * i) : t.chunkOffsets.size() + 1;
        // Runs follow each other without a gap and end at the last chunk.
        if (first != t.samplesPerChunk.size() + 1 || last < first || last > t.chunkOffsets.size() + 1) {
            return false;
        }
        for (uint64_t c = first; c < last; ++c) {
            t.samplesPerChunk.push_back(perChunk);
            placed += perChunk;
        }
    }
    return t.samplesPerChunk.size() == t.chunkOffsets.size() && placed == t.sampleSizes.size();
}

std::optional<Mp4Track> readTrack(Bytes trak) {
    std::vector<Box> boxes, media, info;
    if (!childBoxes(trak, boxes)) {
        return std::nullopt;
    }
    Mp4Track t;
    const Box* tkhd = find(boxes, "tkhd");
    const Box* mdia = find(boxes, "mdia");
    if (!tkhd || !mdia || tkhd->payload.empty()) {
        return std::nullopt;
    }
    const bool v1 = tkhd->payload[0] == std::byte{1};
    const size_t idAt = v1 ? 20 : 12;
    const size_t volumeAt = v1 ? 48 : 36;
    const size_t sizeAt = v1 ? 88 : 76;
    if (tkhd->payload.size() < sizeAt + 8) {
        return std::nullopt;
    }
    t.trackId = bytes::readU32BE(tkhd->payload, idAt);
    t.volume = static_cast<uint16_t>(bytes::readU32BE(tkhd->payload, volumeAt) >> 16);
    t.width = static_cast<uint16_t>(bytes::readU32BE(tkhd->payload, sizeAt) >> 16);
    t.height = static_cast<uint16_t>(bytes::readU32BE(tkhd->payload, sizeAt + 4) >> 16);
    if (const Box* edts = find(boxes, "edts")) {
        t.hasEditList = true;
        std::vector<Box> edits;
        const Box* elst = childBoxes(edts->payload, edits) ? find(edits, "elst") : nullptr;
        if (elst && !elst->payload.empty()) {
            // The first segment that shows media (an empty one, -1, only delays the track).
            const bool e1 = elst->payload[0] == std::byte{1};
            const size_t entry = e1 ? 20 : 12;
            uint32_t n = 0;
            if (!table(elst->payload, 4, entry, n)) {
                return std::nullopt;
            }
            for (uint32_t i = 0; i < n; ++i) {
                const size_t at = 8 + entry * i + (e1 ? 8 : 4);
                const int64_t media =
                    e1 ? static_cast<int64_t>(uint64_t{bytes::readU32BE(elst->payload, at)} << 32 |
                                              bytes::readU32BE(elst->payload, at + 4))
                       : static_cast<int32_t>(bytes::readU32BE(elst->payload, at));
                if (media >= 0) {
                    t.editMediaTime = media;
                    break;
                }
            }
        }
    }

    if (!childBoxes(mdia->payload, media)) {
        return std::nullopt;
    }
    const Box* mdhd = find(media, "mdhd");
    const Box* hdlr = find(media, "hdlr");
    const Box* minf = find(media, "minf");
    if (!mdhd || !hdlr || !minf || mdhd->payload.empty() || hdlr->payload.size() < 24) {
        return std::nullopt;
    }
    const bool m1 = mdhd->payload[0] == std::byte{1};
    const size_t scaleAt = m1 ? 20 : 12;
    const size_t languageAt = m1 ? 32 : 20;
    if (mdhd->payload.size() < languageAt + 2) {
        return std::nullopt;
    }
    t.timescale = bytes::readU32BE(mdhd->payload, scaleAt);
    t.language = static_cast<uint16_t>(bytes::readU32BE(mdhd->payload, languageAt) >> 16);
    for (size_t k = 0; k < 4; ++k) {
        t.handlerType.push_back(static_cast<char>(hdlr->payload[8 + k]));
    }
    for (size_t k = 24; k < hdlr->payload.size() && hdlr->payload[k] != std::byte{0}; ++k) {
        t.handlerName.push_back(static_cast<char>(hdlr->payload[k]));
    }
    if (!childBoxes(minf->payload, info)) {
        return std::nullopt;
    }
    const Box* stbl = find(info, "stbl");
    if (!stbl || !readSampleTable(stbl->payload, t)) {
        return std::nullopt;
    }
    return t;
}

} // namespace

uint32_t Mp4Track::commonDelta() const {
    std::map<uint32_t, uint64_t> counts;
    for (const auto& [count, delta] : timeRuns) {
        counts[delta] += count;
    }
    uint32_t best = 0;
    uint64_t most = 0;
    for (const auto& [delta, count] : counts) {
        if (count > most) {
            best = delta;
            most = count;
        }
    }
    return best;
}

int Mp4Track::nalLengthSize() const {
    // avc1 entry: 8-byte header, 78 bytes of visual sample entry, then its boxes.
    if (sampleEntry.size() < 86 ||
        std::string_view(reinterpret_cast<const char*>(sampleEntry.data()) + 4, 4) != "avc1") {
        return 0;
    }
    std::vector<Box> boxes;
    if (!childBoxes(Bytes(sampleEntry).subspan(86), boxes)) {
        return 0;
    }
    const Box* avcC = find(boxes, "avcC");
    if (!avcC || avcC->payload.size() < 5) {
        return 0;
    }
    const int n = (static_cast<int>(avcC->payload[4]) & 3) + 1;
    return n == 3 ? 0 : n;
}

int Mp4Movie::findTrack(const std::string& handlerType) const {
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].handlerType == handlerType) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<Mp4Movie> Mp4Movie::parse(std::span<const std::byte> moov, std::vector<std::byte> fileType) {
    std::vector<Box> boxes;
    if (!childBoxes(moov, boxes)) {
        return std::nullopt;
    }
    Mp4Movie m;
    m.fileType = std::move(fileType);
    for (const auto& b : boxes) {
        Mp4MovieChild child{b.type, std::vector<std::byte>(b.whole.begin(), b.whole.end()), -1};
        if (b.type == "mvhd") {
            const bool v1 = !b.payload.empty() && b.payload[0] == std::byte{1};
            const size_t at = v1 ? 20 : 12;
            if (b.payload.size() < at + 4) {
                return std::nullopt;
            }
            m.timescale = bytes::readU32BE(b.payload, at);
        } else if (b.type == "trak") {
            auto track = readTrack(b.payload);
            if (!track) {
                return std::nullopt;
            }
            child.track = static_cast<int>(m.tracks.size());
            m.tracks.push_back(std::move(*track));
        }
        m.children.push_back(std::move(child));
    }
    if (m.timescale == 0) {
        return std::nullopt;
    }
    return m;
}

std::optional<Mp4Movie> Mp4Movie::read(ORBByteSource& source) {
    try {
        uint64_t pos = 0;
        std::vector<std::byte> fileType;
        std::array<std::byte, 16> h{};
        while (pos + 8 <= source.size()) {
            if (!source.readAt(pos, std::span(h).first(8))) {
                return std::nullopt;
            }
            uint64_t size = bytes::readU32BE(h, 0);
            uint64_t header = 8;
            if (size == 1) {
                if (!source.readAt(pos, h)) {
                    return std::nullopt;
                }
                size = uint64_t{bytes::readU32BE(h, 8)} << 32 | bytes::readU32BE(h, 12);
                header = 16;
            } else if (size == 0) {
                size = source.size() - pos;
            }
            if (size < header || size > source.size() - pos) {
                return std::nullopt;
            }
            const std::string_view type(reinterpret_cast<const char*>(h.data()) + 4, 4);
            if (type == "ftyp" && size <= 4096) {
                fileType.resize(size);
                if (!source.readAt(pos, fileType)) {
                    return std::nullopt;
                }
            } else if (type == "moov") {
                if (size - header > kMaxMovieBytes) {
                    return std::nullopt;
                }
                std::vector<std::byte> moov(size - header);
                if (!source.readAt(pos + header, moov)) {
                    return std::nullopt;
                }
                return parse(moov, std::move(fileType));
            }
            pos += size;
        }
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

Mp4TrackSetup trackSetupOf(const Mp4Track& t) {
    Mp4TrackSetup s;
    s.handlerType = t.handlerType;
    s.handlerName = t.handlerName;
    s.timescale = t.timescale;
    s.width = t.width;
    s.height = t.height;
    s.volume = t.volume;
    s.language = t.language;
    s.sampleEntry = t.sampleEntry;
    s.editList = t.hasEditList;
    s.editMediaTime = t.editMediaTime;
    s.syncTable = t.hasSyncTable;
    s.uniformSizeTable = t.uniformSampleSize != 0;
    // Chunks as large as the camera's largest: a copy interleaves its tracks as the camera did.
    for (uint32_t n : t.samplesPerChunk) {
        s.maxSamplesPerChunk = std::max(s.maxSamplesPerChunk, n);
    }
    return s;
}

} // namespace nura
