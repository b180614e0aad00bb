// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/MediaDataWalker.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <sys/mman.h>

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
            std::memmove(m_buffer.get(), m_buffer.get() + drop, m_length - drop);
            m_length -= drop;
            m_start += drop;
        }
        const uint64_t have = m_start + m_length;
        const uint64_t need = pos + n - have;
        const size_t want = static_cast<size_t>(
            std::min<uint64_t>(std::max<uint64_t>(need, MediaDataWalker::kReadBlock), m_end - have));
        if (m_capacity < m_length + want && !grow(m_length + want)) {
            m_failed = true;
            return false;
        }
        if (!m_source.readAt(have, std::span(m_buffer.get() + m_length, want))) {
            m_failed = true;
            return false;
        }
        m_length += want;
        return true;
    }
    std::span<const std::byte> at(uint64_t pos, size_t n) const {
        return {m_buffer.get() + static_cast<size_t>(pos - m_start), n};
    }
    uint8_t byte(uint64_t pos) const {
        return static_cast<uint8_t>(m_buffer[static_cast<size_t>(pos - m_start)]);
    }
    bool failed() const { return m_failed; }

private:
    // Room for a read block and what is kept before it, never more than the media data itself,
    // left uninitialised (the reads fill it). Large windows go in large pages where the system has
    // them, faulted in a few times rather than page by page, which dominated the walk on virtual
    // machines.
    bool grow(size_t least) {
        constexpr size_t kLargePage = size_t{2} << 20;
        size_t capacity = static_cast<size_t>(
            std::max<uint64_t>(least, std::min<uint64_t>(2 * MediaDataWalker::kReadBlock, m_end - m_start)));
        const bool large = capacity >= kLargePage;
        const size_t unit = large ? kLargePage : 4096;
        capacity = (capacity + unit - 1) / unit * unit;
        std::unique_ptr<std::byte[], Free> bigger(
            static_cast<std::byte*>(std::aligned_alloc(unit, capacity)));
        if (!bigger) {
            return false;
        }
        if (large) {
            ::madvise(bigger.get(), capacity, MADV_HUGEPAGE); // advice only
        }
        if (m_length > 0) {
            std::memcpy(bigger.get(), m_buffer.get(), m_length);
        }
        m_buffer = std::move(bigger);
        m_capacity = capacity;
        return true;
    }
    struct Free {
        void operator()(std::byte* p) const { std::free(p); }
    };

    ORBByteSource& m_source;
    uint64_t m_start;
    uint64_t m_end;
    std::unique_ptr<std::byte[], Free> m_buffer;
    size_t m_capacity = 0;
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
    // With sound between the samples a unit is held to a size near the reference's frames: a length read
    // from sound bytes would otherwise swallow megabytes of what follows.
    const bool sound = m_pattern.soundChunkMax > 0;
    const uint64_t maxUnit =
        sound ? std::clamp<uint64_t>(4 * m_pattern.largestFrame, uint64_t{1} << 20, kMaxSampleBytes)
              : kMaxSampleBytes;

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
    // What follows a telemetry chunk (or a frame found past sound) must be the end, another chunk or a
    // unit that can start a frame; with sound in the reference, also sound and then one of those.
    std::function<bool(uint64_t, bool)> plausibleAfter;
    std::function<std::optional<uint64_t>(uint64_t)> afterSound;
    const auto plausibleSample = [&](uint64_t p) {
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
        if (n > 0 && n <= maxUnit && validHeader(w.byte(p + lengthSize))) {
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
    // `soundMayFollow`: sound may lie between p and the next sample (one level deep: the sample found
    // past it must be followed by a sample itself).
    const auto isTelemetryAt = [&](uint64_t p, bool soundMayFollow) {
        return chunkSize > 0 && leadAt(p) && w.ensure(keep(), p, chunkSize) &&
               plausibleAfter(p + chunkSize, soundMayFollow);
    };
    // A frame that begins at `p`: units whose lengths chain and whose headers the camera writes, up to
    // and including a slice, followed by a plausible sample.
    enum class Found { No, Yes, Cut }; // Cut: it may be a frame, but the data ends inside it
    const auto frameAt = [&](uint64_t p, bool soundMayFollow) {
        for (int units = 0; units < 8; ++units) {
            if (p + lengthSize + 2 > end) {
                return Found::Cut;
            }
            if (!w.ensure(keep(), p, lengthSize + 2)) {
                return Found::No;
            }
            const uint64_t n = unitLength(p);
            const uint8_t h = w.byte(p + lengthSize);
            const int t = h & 0x1F;
            if (n < 2 || n > maxUnit || !validHeader(h)) {
                return Found::No;
            }
            const bool firstMbZero = (w.byte(p + lengthSize + 1) & 0x80) != 0;
            if (units == 0 && (isSlice(t) ? !firstMbZero : t == 12)) {
                return Found::No; // not a unit that begins a frame
            }
            if (p + lengthSize + n > end) {
                return Found::Cut;
            }
            p += lengthSize + n;
            if (isSlice(t)) {
                return plausibleAfter(p, soundMayFollow) ? Found::Yes : Found::No;
            }
        }
        return Found::No;
    };
    plausibleAfter = [&](uint64_t p, bool soundMayFollow) {
        return plausibleSample(p) || (soundMayFollow && afterSound(p).has_value());
    };
    // Where the camera's next sample begins after sound that starts at `from`, looked for no further
    // than twice the reference's largest sound chunk (and 64 KiB more); `end` when the data ends inside
    // the sound.
    afterSound = [&](uint64_t from) -> std::optional<uint64_t> {
        if (!sound) {
            return std::nullopt;
        }
        const uint64_t limit = std::min(end, from + 2 * m_pattern.soundChunkMax + (uint64_t{64} << 10));
        if (!w.ensure(keep(), from, static_cast<size_t>(limit - from))) {
            return std::nullopt;
        }
        // [from, limit) stays in the window from here on (nothing before `from` is needed any more, and
        // the checks below only read further), so its bytes are read without asking again.
        const uint8_t chunkLead = lead.empty() ? 0 : static_cast<uint8_t>(lead[0]);
        for (uint64_t q = from + 1; q < limit && !w.failed(); ++q) {
            // Most places fail on their first byte: neither the lead of a chunk nor a length's top byte.
            const uint8_t first = w.byte(q);
            const bool maybeChunk = !lead.empty() && first == chunkLead;
            const bool maybeUnit = lengthSize < 4 || first == 0;
            if (!maybeChunk && !maybeUnit) {
                continue;
            }
            if ((maybeChunk && isTelemetryAt(q, false)) || (maybeUnit && frameAt(q, false) == Found::Yes)) {
                return q;
            }
        }
        if (limit == end && !w.failed()) {
            return end;
        }
        return std::nullopt;
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
            if ((!open || hasSlice) && isTelemetryAt(pos, true)) {
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
            bool unknown = length == 0 || length > maxUnit || !validHeader(header);
            const bool secondByte = !unknown && length >= 2 && w.ensure(keep(), pos, lengthSize + 2);
            const bool frameTail = !unknown && !open && isSlice(type) && secondByte &&
                                   (w.byte(pos + lengthSize + 1) & 0x80) == 0;
            // With sound about, a unit that claims to begin a frame must chain up to its slice and be
            // followed by a sample: sound bytes rarely pass for one unit, almost never for that.
            if (sound && !unknown && !frameTail && secondByte && (!open || hasSlice)) {
                const bool slice = isSlice(type);
                const bool begins = slice ? (w.byte(pos + lengthSize + 1) & 0x80) != 0 : type != 12;
                unknown = begins && frameAt(pos, true) == Found::No;
            }
            if (unknown || frameTail) {
                if (open && hasSlice && !closeFrame()) {
                    return finish(Stop::ReceiverFailed, sampleStart);
                }
                // A frame begun without a slice (a parameter set before the sound) is dropped with it.
                const uint64_t from = open ? sampleStart : pos;
                open = false;
                pos = from;
                const auto next = afterSound(from);
                if (!next) {
                    return finish(Stop::UnknownBytes, from);
                }
                if (*next == end) {
                    return finish(Stop::CutSample, from); // the data ends inside the sound
                }
                if (!receiver.gap(*next - from)) {
                    return finish(Stop::ReceiverFailed, from);
                }
                ++r.gaps;
                r.gapBytes += *next - from;
                pos = *next;
                continue;
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
