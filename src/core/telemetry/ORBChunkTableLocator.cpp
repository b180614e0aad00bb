// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBChunkTableLocator.h"

#include "core/telemetry/ByteOrder.h"

#include <array>
#include <string_view>

namespace nura {
namespace {

// The camera writes to FAT32, so no recording reaches 4 GiB; a position past that came from a
// size that does not belong to the file.
constexpr uint64_t kPositionLimit = uint64_t{1} << 32;

class Walk {
public:
    explicit Walk(ORBByteSource& source) : m_source(source) {}

    // Reads n bytes at `position` into the scratch buffer.
    bool read(uint64_t position, size_t n) {
        if (m_error != ORBTelemetryError::None) {
            return false;
        }
        if (position >= kPositionLimit) {
            m_error = ORBTelemetryError::PositionWraps;
            return false;
        }
        if (!m_source.readAt(position, std::span(m_buf).first(n))) {
            m_error = ORBTelemetryError::ShortRead;
            return false;
        }
        return true;
    }
    uint32_t u32(size_t at) const { return bytes::readU32BE(m_buf, at); }
    bool typeIs(size_t at, std::string_view fourcc) const {
        for (size_t k = 0; k < 4; ++k) {
            if (static_cast<char>(m_buf[at + k]) != fourcc[k]) {
                return false;
            }
        }
        return true;
    }
    // The size of the box at `position`, or nothing when it cannot be read.
    bool sizeAt(uint64_t position, uint64_t& next) {
        if (!read(position, 4)) {
            return false;
        }
        next = position + u32(0);
        return true;
    }
    void fail(ORBTelemetryError e) { m_error = e; }
    ORBTelemetryError error() const { return m_error; }

private:
    ORBByteSource& m_source;
    std::array<std::byte, 16> m_buf{};
    ORBTelemetryError m_error = ORBTelemetryError::None;
};

} // namespace

ORBChunkTableLocator::Result ORBChunkTableLocator::locate(ORBByteSource& source) {
    Walk w(source);
    Result result;
    const auto failed = [&]() {
        result.error = w.error();
        return result;
    };

    // Too short for a file type box is not the camera's file at all, rather than one cut short.
    if (!w.read(0, 12) || !w.typeIs(4, "ftyp")) {
        w.fail(ORBTelemetryError::NotFtyp);
        return failed();
    }
    if (!w.typeIs(8, "avc1")) {
        w.fail(ORBTelemetryError::NotAvc1);
        return failed();
    }
    const uint64_t second = w.u32(0);
    if (!w.read(second, 8)) {
        return failed();
    }
    const uint64_t moov = second + w.u32(0);
    if (!w.read(moov, 12)) {
        return failed();
    }
    if (!w.typeIs(4, "moov")) {
        w.fail(ORBTelemetryError::NotMoov);
        return failed();
    }
    // Second to fifth child of moov; the fifth is the data track.
    uint64_t child = moov + 8 + w.u32(8);
    for (int k = 0; k < 3; ++k) {
        if (!w.sizeAt(child, child)) {
            return failed();
        }
    }
    if (!w.read(child, 4)) {
        return failed();
    }
    // Inside the track: header, one more box, then the media box.
    uint64_t pos = child + 8;
    if (!w.sizeAt(pos, pos) || !w.read(pos, 8)) {
        return failed();
    }
    pos += uint64_t{w.u32(0)} + 8; // first child of the media box
    // Media: header, handler, then the media information box.
    if (!w.sizeAt(pos, pos) || !w.read(pos, 4)) {
        return failed();
    }
    pos += uint64_t{w.u32(0)} + 8;
    // Media information: media-type header, data information, then the sample table.
    if (!w.sizeAt(pos, pos) || !w.read(pos, 4)) {
        return failed();
    }
    pos += uint64_t{w.u32(0)} + 8;
    // Sample table: description, time-to-sample, sample-to-chunk, sample size, then chunk offsets.
    for (int k = 0; k < 4; ++k) {
        if (!w.sizeAt(pos, pos)) {
            return failed();
        }
    }
    if (!w.read(pos, 16)) {
        return failed();
    }
    if (!w.typeIs(4, "stco")) {
        w.fail(ORBTelemetryError::NotStco);
        return failed();
    }
    result.entryCount = w.u32(12);
    result.tablePosition = pos + 16;
    return result;
}

} // namespace nura
