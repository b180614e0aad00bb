// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the telemetry of a generated 3-minute recording (1,800 chunks) and compares the time with a
// baseline that reads the same bytes with the fewest system calls: the chunk table in one read, then
// one read per record, without walking the boxes or decoding anything.

#include "DriveScript.h"
#include "SampleRecording.h"
#include "core/log.h"
#include "core/telemetry/ByteOrder.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The same bytes the reader needs, read as cheaply as the file allows.
size_t baselineRead(const std::string& path, uint64_t tablePosition, uint32_t count) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    std::vector<std::byte> table(4 * size_t{count});
    std::vector<std::byte> records(155 * size_t{count});
    size_t got = 0;
    if (::pread(fd, table.data(), table.size(), static_cast<off_t>(tablePosition)) ==
        static_cast<ssize_t>(table.size())) {
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t offset = nura::bytes::readU32BE(table, 4 * size_t{i});
            got += ::pread(fd, records.data() + 153 * i, 153, offset + 2) == 153 ? 1 : 0;
        }
    }
    ::close(fd);
    return got;
}

double medianMs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    constexpr int kSeconds = 180;
    constexpr int kRuns = 200;
    // Frames of 4 KiB stand in for the video so that records lie apart as in a real recording.
    auto video = samples::placeholderVideo(1920, 1080, 30, kSeconds * 30);
    for (auto& f : video.frames) {
        f.avcc.resize(4096);
    }
    const auto records = samples::DriveScript().records(0, kSeconds);
    const auto mp4 = samples::buildCameraMp4(video, records);
    const auto path = (std::filesystem::temp_directory_path() / "nura-bench-telemetry_F.mp4").string();
    if (!samples::writeFile(path, mp4.bytes)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    const auto* stco = mp4.box("moov/trak[2]/mdia/minf/stbl/stco");
    const uint64_t table = stco->offset + 16;
    const auto count = static_cast<uint32_t>(mp4.dataChunkOffsets.size());

    nura::setLogSink([](std::string_view) {});
    nura::ORBBlackBoxData data;
    std::vector<double> ours, base;
    for (int run = 0; run < kRuns + 5; ++run) { // the first runs warm the cache
        auto t0 = Clock::now();
        const bool ok = data.ExtractStreamInformation(path);
        auto t1 = Clock::now();
        const size_t got = baselineRead(path, table, count);
        auto t2 = Clock::now();
        if (!ok || data.times().size() != count || got != count) {
            std::fprintf(stderr, "read failed\n");
            return 1;
        }
        if (run >= 5) {
            ours.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            base.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
        }
    }
    nura::setLogSink({});
    std::filesystem::remove(path);

    const double o = medianMs(ours), b = medianMs(base);
    const double oMin = *std::min_element(ours.begin(), ours.end());
    const double bMin = *std::min_element(base.begin(), base.end());
    std::printf("telemetry read, %u records, %d-second recording of %.1f MB, median of %d warm runs\n", count,
                kSeconds, static_cast<double>(mp4.bytes.size()) / 1e6, kRuns);
    std::printf("  reader:   %.3f ms median, %.3f ms best (%zu GPS states)\n", o, oMin, data.nmeas().size());
    std::printf("  baseline: %.3f ms median, %.3f ms best (table once, one read per record, no decoding)\n",
                b, bMin);
    std::printf("  ratio:    %.2f median, %.2f best (target: at most 2, and under 5 ms)\n", o / b,
                oMin / bMin);
    // Times depend on the machine's load; the verdict is printed, not enforced.
    std::printf("  %s\n", o / b <= 2.0 && oMin <= 5.0 ? "within target" : "OUTSIDE TARGET");
    return 0;
}
