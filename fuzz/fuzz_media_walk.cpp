// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the walk through the media data of a recording cut short, over arbitrary bytes
// placed after a real file type box, and the look at the top-level boxes that decides a file is cut.
// The first input byte picks the unit length size and whether a telemetry pattern and sound are known.
#include "core/repair/MediaDataWalker.h"
#include "core/repair/RecordingShape.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Checks what a receiver is handed: spans that join up, each within the walked range.
class Receiver final : public nura::MediaDataReceiver {
public:
    bool videoSample(std::span<const std::byte> b, bool) override { return take(b); }
    bool telemetryChunk(std::span<const std::byte> b) override { return take(b); }
    bool gap(uint64_t n) override {
        if (n == 0) {
            __builtin_trap();
        }
        total += n;
        return true;
    }
    size_t total = 0;

private:
    bool take(std::span<const std::byte> b) {
        if (b.empty()) {
            __builtin_trap();
        }
        total += b.size();
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    static const uint8_t ftyp[] = {0,   0,   0, 24, 'f', 't', 'y', 'p', 'a', 'v', 'c',
                                   '1', 0,   0, 0,  0,   'a', 'v', 'c', '1', 'i', 's',
                                   'o', 'm', 0, 0,  0,   0,   'm', 'd', 'a', 't'};
    std::vector<std::byte> file(sizeof ftyp + size - 1);
    for (size_t i = 0; i < sizeof ftyp; ++i) {
        file[i] = static_cast<std::byte>(ftyp[i]);
    }
    for (size_t i = 1; i < size; ++i) {
        file[sizeof ftyp + i - 1] = static_cast<std::byte>(data[i]);
    }
    nura::ORBMemoryByteSource source(file);
    const auto shape = nura::RecordingShape::inspect(source);
    if (shape.kind == nura::RecordingShape::Kind::Cut && shape.mediaStart > file.size()) {
        __builtin_trap();
    }

    nura::MediaDataPattern pattern;
    static const int lengthSizes[] = {4, 2, 1, 4};
    pattern.nalLengthSize = lengthSizes[data[0] & 3];
    if ((data[0] & 4) == 0) {
        pattern.telemetryChunkSize = 155;
        pattern.telemetryLead = {std::byte{0}, std::byte{153}};
    }
    if ((data[0] & 8) != 0) {
        pattern.soundChunkMax = 700;
        pattern.largestFrame = 50000;
    }
    Receiver receiver;
    const auto r = nura::MediaDataWalker(pattern).walk(source, sizeof ftyp, file.size(), receiver);
    if (r.stoppedAt < sizeof ftyp || r.stoppedAt > file.size() ||
        receiver.total != r.stoppedAt - sizeof ftyp) {
        __builtin_trap();
    }
    return 0;
}
