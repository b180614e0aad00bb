// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/RecordingLength.h"

#include "core/telemetry/ByteOrder.h"

#include <array>
#include <optional>
#include <string_view>

namespace nura {
namespace {

struct BoxHeader {
    std::string_view type;
    bool fits = true;    // the box lies within its parent
    uint64_t size = 0;   // whole box; 0 when it runs to the end of its parent
    uint64_t header = 8; // bytes before the payload
};

// The header of the box at `pos` within [pos, end), or nothing when it cannot be read or does not fit.
std::optional<BoxHeader> readHeader(ORBByteSource& source, uint64_t pos, uint64_t end,
                                    std::array<std::byte, 16>& h) {
    if (pos + 8 > end) {
        return std::nullopt;
    }
    const size_t wanted = pos + 16 <= end ? 16 : 8;
    if (!source.readAt(pos, std::span(h).first(wanted))) {
        return std::nullopt;
    }
    BoxHeader box;
    box.type = std::string_view(reinterpret_cast<const char*>(h.data()) + 4, 4);
    box.size = bytes::readU32BE(h, 0);
    if (box.size == 1) {
        if (wanted < 16) {
            return std::nullopt;
        }
        box.size = uint64_t{bytes::readU32BE(h, 8)} << 32 | bytes::readU32BE(h, 12);
        box.header = 16;
    }
    if (box.size == 0) {
        box.size = end - pos;
    }
    box.fits = box.size >= box.header && box.size <= end - pos;
    return box;
}

RecordingLength lengthOf(RecordingLength::Kind kind) {
    RecordingLength length;
    length.kind = kind;
    return length;
}

} // namespace

RecordingLength RecordingLength::read(ORBByteSource& source) {
    const auto failed = [&](Kind otherwise) {
        return lengthOf(source.readError() != 0 ? Kind::Unreadable : otherwise);
    };
    const uint64_t fileSize = source.size();
    std::array<std::byte, 16> h{};
    uint64_t pos = 0;
    bool mediaSeen = false;
    // A camera file has three or four top-level boxes; a file of many is not one.
    for (int boxes = 0; boxes < 64; ++boxes) {
        const auto box = readHeader(source, pos, fileSize, h);
        if (box && box->type == "mdat") {
            mediaSeen = true;
        }
        if (!box || !box->fits) {
            return failed(mediaSeen ? Kind::CutShort : Kind::NotRecording);
        }
        if (box->type == "moov") {
            const uint64_t moovEnd = pos + box->size;
            uint64_t child = pos + box->header;
            for (int children = 0; children < 64; ++children) {
                const auto c = readHeader(source, child, moovEnd, h);
                if (!c || !c->fits) {
                    return failed(Kind::NotRecording);
                }
                if (c->type == "mvhd") {
                    // version, flags, then creation and modification times of 4 or 8 bytes each
                    std::array<std::byte, 32> payload{};
                    const bool v1 = c->size >= c->header + 32;
                    const size_t need = v1 ? 32 : 20;
                    if (c->size < c->header + need ||
                        !source.readAt(child + c->header, std::span(payload).first(need))) {
                        return failed(Kind::NotRecording);
                    }
                    const bool version1 = payload[0] == std::byte{1};
                    if (version1 && !v1) {
                        return lengthOf(Kind::NotRecording);
                    }
                    const uint32_t timescale = bytes::readU32BE(payload, version1 ? 20 : 12);
                    const uint64_t duration = version1 ? uint64_t{bytes::readU32BE(payload, 24)} << 32 |
                                                             bytes::readU32BE(payload, 28)
                                                       : bytes::readU32BE(payload, 16);
                    // All ones: the writer did not know the length.
                    const bool unknown = version1 ? duration == ~uint64_t{0} : duration == 0xFFFFFFFFu;
                    if (timescale == 0 || duration == 0 || unknown ||
                        duration / timescale >= static_cast<uint64_t>(kMaxMilliseconds / 1000)) {
                        return lengthOf(Kind::NotRecording);
                    }
                    RecordingLength length;
                    length.kind = Kind::Known;
                    length.milliseconds = static_cast<int64_t>(duration / timescale * 1000 +
                                                               duration % timescale * 1000 / timescale);
                    if (length.milliseconds == 0) {
                        return lengthOf(Kind::NotRecording);
                    }
                    return length;
                }
                child += c->size;
            }
            return lengthOf(Kind::NotRecording);
        }
        pos += box->size;
        if (pos >= fileSize) {
            break;
        }
    }
    return lengthOf(mediaSeen ? Kind::CutShort : Kind::NotRecording);
}

RecordingLength RecordingLength::read(const std::string& path) {
    auto source = ORBFileByteSource::open(path);
    if (!source) {
        return lengthOf(Kind::Unreadable);
    }
    return read(*source);
}

} // namespace nura
