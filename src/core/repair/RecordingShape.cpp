// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/RecordingShape.h"

#include "core/telemetry/ByteOrder.h"

#include <array>
#include <new>

namespace nura {
namespace {

bool printableType(std::span<const std::byte> t) {
    for (auto b : t) {
        const auto c = static_cast<unsigned char>(b);
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

} // namespace

RecordingShape RecordingShape::inspect(ORBByteSource& source) {
    RecordingShape shape;
    const uint64_t fileSize = source.size();
    std::array<std::byte, 16> h{};
    if (fileSize < 16 || !source.readAt(0, std::span(h).first(12))) {
        if (source.readError() != 0) {
            shape.kind = Kind::Unreadable;
        }
        return shape;
    }
    const uint32_t ftypSize = bytes::readU32BE(h, 0);
    const std::string_view type(reinterpret_cast<const char*>(h.data()) + 4, 4);
    const std::string_view brand(reinterpret_cast<const char*>(h.data()) + 8, 4);
    if (type != "ftyp" || brand != "avc1" || ftypSize < 12 || ftypSize > 4096 || ftypSize > fileSize) {
        return shape;
    }
    shape.fileType.resize(ftypSize);
    if (!source.readAt(0, shape.fileType)) {
        shape.kind = Kind::Unreadable;
        return shape;
    }
    bool mediaSeen = false;
    const auto cutOrNot = [&] {
        shape.kind = mediaSeen ? Kind::Cut : Kind::NotRecording;
        return shape;
    };
    uint64_t pos = ftypSize;
    // A handful of boxes at most; a file of many tiny boxes is not the camera's.
    for (int boxes = 0; boxes < 64 && pos + 8 <= fileSize; ++boxes) {
        const size_t headerBytes = pos + 16 <= fileSize ? 16 : 8;
        if (!source.readAt(pos, std::span(h).first(headerBytes))) {
            shape.kind = Kind::Unreadable;
            return shape;
        }
        const auto t = std::span<const std::byte>(h).subspan(4, 4);
        const std::string_view name(reinterpret_cast<const char*>(h.data()) + 4, 4);
        uint64_t size = bytes::readU32BE(h, 0);
        uint64_t header = 8;
        if (size == 1) {
            if (headerBytes < 16) {
                return cutOrNot();
            }
            size = uint64_t{bytes::readU32BE(h, 8)} << 32 | bytes::readU32BE(h, 12);
            header = 16;
        }
        if (name == "moov") {
            if (size >= header && size <= fileSize - pos) {
                shape.kind = Kind::Whole;
                return shape;
            }
            return cutOrNot();
        }
        if (name == "mdat") {
            if (!mediaSeen) {
                mediaSeen = true;
                shape.mediaStart = pos + header;
            }
            if (size == 0 || size < header || size > fileSize - pos) {
                return cutOrNot(); // media data to the end of the file
            }
            pos += size;
            continue;
        }
        if (!printableType(t) || size < header || size > fileSize - pos) {
            return cutOrNot();
        }
        pos += size;
    }
    return cutOrNot();
}

RecordingShape RecordingShape::inspect(const std::string& path) {
    auto source = ORBFileByteSource::open(path);
    if (!source) {
        RecordingShape shape;
        shape.kind = Kind::Unreadable;
        return shape;
    }
    return inspect(*source);
}

} // namespace nura
