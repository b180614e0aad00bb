// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/MediaDataWalker.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace nura {
namespace {

// Keeps a forward-moving window of the source in memory, reading ahead in large blocks.
class Window {
public:
    Window(ORBByteSource& source, uint64_t start, uint64_t end)
        : m_source(source), m_start(start), m_end(end) {}

    // Makes [pos, pos + n) readable, dropping what lies before `keepFrom`. False when the bytes lie
    // past the end (or cannot be read: see failed()).
    bool ensure(uint64_t keepFrom, uint64_t pos, size_t n) {
        if (pos > m_end || n > m_end - pos) {
            return false;
        }
        if (pos >= m_start && pos + n <= m_start + m_length) {
            return true;
        }
        if (keepFrom > m_start) {
            const size_t drop = static_cast<size_t>(std::min<uint64_t>(keepFrom - m_start, m_length));
            std::memmove(m_buffer.data(), m_buffer.data() + drop, m_length - drop);
            m_length -= drop;
            m_start += drop;
        }
        const uint64_t have = m_start + m_length;
        const uint64_t need = pos + n - have;
        const size_t want = static_cast<size_t>(
            std::min<uint64_t>(std::max<uint64_t>(need, MediaDataWalker::kReadBlock), m_end - have));
        if (m_buffer.size() < m_length + want) {
            m_buffer.resize(m_length + want);
        }
        if (!m_source.readAt(have, std::span(m_buffer).subspan(m_length, want))) {
            m_failed = true;
            return false;
        }
        m_length += want;
        return true;
    }
    std::span<const std::byte> at(uint64_t pos, size_t n) const {
        return std::span<const std::byte>(m_buffer).subspan(static_cast<size_t>(pos - m_start), n);
    }
    uint8_t byte(uint64_t pos) const {
        return static_cast<uint8_t>(m_buffer[static_cast<size_t>(pos - m_start)]);
    }
    bool failed() const { return m_failed; }

private:
    ORBByteSource& m_source;
    uint64_t m_start;
    uint64_t m_end;
    std::vector<std::byte> m_buffer;
    size_t m_length = 0;
    bool m_failed = false;
};

bool isSlice(int type) {
    return type == 1 || type == 5;
}

// Unit types the camera's encoder writes, with the reference flag each must carry.
bool validHeader(uint8_t header) {
    const int type = header & 0x1F;
    const int refIdc = (header >> 5) & 3;
    if ((header & 0x80) != 0) {
        return false; // forbidden_zero_bit
    }
    switch (type) {
    case 1:
    case 7:
    case 8:
        return true;
    case 5:
        return refIdc != 0;
    case 6:
    case 9:
    case 12:
        return refIdc == 0;
    default:
        return false;
    }
}

} // namespace

std::string_view MediaDataWalker::describe(Stop stop) {
    switch (stop) {
    case Stop::EndOfData:
        return "the media data ends after a whole frame";
    case Stop::CutSample:
        return "the media data ends inside a frame or record, which is left out";
    case Stop::UnknownBytes:
        return "bytes that are neither a frame nor a telemetry record";
    case Stop::ReadFailed:
        return "the file could not be read further";
    case Stop::ReceiverFailed:
        return "the repaired file could not be written";
    }
    return "";
}

MediaDataWalker::Result MediaDataWalker::walk(ORBByteSource& source, uint64_t start, uint64_t end,
                                              MediaDataReceiver& receiver) {
    Result r;
    end = std::min(end, source.size());
    start = std::min(start, end);
    Window w(source, start, end);
    const size_t lengthSize = static_cast<size_t>(m_pattern.nalLengthSize);
    const auto& lead = m_pattern.telemetryLead;
    const size_t chunkSize = m_pattern.telemetryChunkSize;

    uint64_t pos = start;
    bool open = false; // a frame has begun at sampleStart
    uint64_t sampleStart = start;
    bool hasSlice = false;
    bool sync = false;

    const auto keep = [&] { return open ? sampleStart : pos; };
    const auto finish = [&](Stop stop, uint64_t at) {
        r.stop = w.failed() ? Stop::ReadFailed : stop;
        r.stoppedAt = at;
        r.recoveredEnd = at;
        return r;
    };
    const auto unitLength = [&](uint64_t p) {
        uint64_t n = 0;
        for (size_t k = 0; k < lengthSize; ++k) {
            n = n << 8 | w.byte(p + k);
        }
        return n;
    };
    const auto leadAt = [&](uint64_t p) {
        if (lead.empty() || !w.ensure(keep(), p, lead.size())) {
            return false;
        }
        const auto b = w.at(p, lead.size());
        return std::equal(b.begin(), b.end(), lead.begin());
    };
    // What follows a telemetry chunk must be the end, another chunk or a unit that can start a frame.
    const auto plausibleAfter = [&](uint64_t p) {
        if (p + lengthSize + 1 > end) {
            return true;
        }
        if (leadAt(p)) {
            return true;
        }
        if (!w.ensure(keep(), p, lengthSize + 1)) {
            return false;
        }
        const uint64_t n = unitLength(p);
        if (n > 0 && n <= kMaxSampleBytes && validHeader(w.byte(p + lengthSize))) {
            return true;
        }
        // Or the index the camera was writing when the power went.
        if (p + 8 > end) {
            return true;
        }
        if (!w.ensure(keep(), p, 8)) {
            return false;
        }
        const auto t = w.at(p + 4, 4);
        const std::string_view type(reinterpret_cast<const char*>(t.data()), 4);
        return type == "moov" || type == "free" || type == "skip";
    };
    const auto isTelemetryAt = [&](uint64_t p) {
        return chunkSize > 0 && leadAt(p) && w.ensure(keep(), p, chunkSize) && plausibleAfter(p + chunkSize);
    };
    const auto closeFrame = [&]() {
        if (!open) {
            return true;
        }
        open = false;
        if (!hasSlice) {
            return true;
        }
        if (!w.ensure(sampleStart, sampleStart, static_cast<size_t>(pos - sampleStart)) ||
            !receiver.videoSample(w.at(sampleStart, static_cast<size_t>(pos - sampleStart)), sync)) {
            return false;
        }
        ++r.videoSamples;
        r.syncSamples += sync;
        return true;
    };

    try {
        while (true) {
            if (w.failed()) {
                return finish(Stop::ReadFailed, open ? sampleStart : pos);
            }
            if (pos == end) {
                if (open && !hasSlice) {
                    return finish(Stop::CutSample, sampleStart);
                }
                if (!closeFrame()) {
                    return finish(Stop::ReceiverFailed, sampleStart);
                }
                return finish(Stop::EndOfData, pos);
            }
            if ((!open || hasSlice) && isTelemetryAt(pos)) {
                if (!closeFrame()) {
                    return finish(Stop::ReceiverFailed, sampleStart);
                }
                if (!receiver.telemetryChunk(w.at(pos, chunkSize))) {
                    return finish(Stop::ReceiverFailed, pos);
                }
                ++r.telemetryChunks;
                pos += chunkSize;
                continue;
            }
            if ((!open || hasSlice) && chunkSize > 0 && end - pos < chunkSize && leadAt(pos)) {
                if (!closeFrame()) {
                    return finish(Stop::ReceiverFailed, sampleStart);
                }
                return finish(Stop::CutSample, pos); // a telemetry chunk cut short
            }
            if (!w.ensure(keep(), pos, lengthSize + 1)) {
                // Too few bytes left for a unit's length and header: a cut, unless reading failed.
                if (open && hasSlice && !closeFrame()) {
                    return finish(Stop::ReceiverFailed, sampleStart);
                }
                return finish(Stop::CutSample, open ? sampleStart : pos);
            }
            const uint64_t length = unitLength(pos);
            const uint8_t header = w.byte(pos + lengthSize);
            const int type = header & 0x1F;
            if (length == 0 || length > kMaxSampleBytes || !validHeader(header)) {
                if (open && hasSlice && !closeFrame()) {
                    return finish(Stop::ReceiverFailed, sampleStart);
                }
                return finish(Stop::UnknownBytes, open ? sampleStart : pos);
            }
            // A slice's first field, first_mb_in_slice, is ue(v): a leading 1 bit means 0.
            // When the cut falls right after the unit's header, the unit is lost either way; it is taken
            // as the next frame's (the camera writes one slice a frame), so the frame before stays whole.
            bool firstMbZero = true;
            if (isSlice(type)) {
                if (length < 2) {
                    firstMbZero = false;
                } else if (w.ensure(keep(), pos, lengthSize + 2)) {
                    firstMbZero = (w.byte(pos + lengthSize + 1) & 0x80) != 0;
                }
            }
            const bool startsFrame = isSlice(type) ? firstMbZero : type != 12;
            if (open && hasSlice && startsFrame && !closeFrame()) {
                return finish(Stop::ReceiverFailed, sampleStart);
            }
            if (!open) {
                if (isSlice(type) && !firstMbZero) {
                    return finish(Stop::UnknownBytes, pos); // the rest of a frame whose start is not here
                }
                open = true;
                sampleStart = pos;
                hasSlice = false;
                sync = false;
            }
            const uint64_t unitEnd = pos + lengthSize + length;
            if (unitEnd > end) {
                return finish(Stop::CutSample, sampleStart);
            }
            if (unitEnd - sampleStart > kMaxSampleBytes) {
                return finish(Stop::UnknownBytes, sampleStart);
            }
            if (!w.ensure(sampleStart, pos, static_cast<size_t>(unitEnd - pos))) {
                return finish(Stop::ReadFailed, sampleStart);
            }
            hasSlice = hasSlice || isSlice(type);
            sync = sync || type == 5;
            pos = unitEnd;
        }
    } catch (const std::bad_alloc&) {
        return finish(Stop::ReadFailed, open ? sampleStart : pos);
    }
}

} // namespace nura
