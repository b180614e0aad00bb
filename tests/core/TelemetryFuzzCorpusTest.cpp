// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the fuzz targets' corpus (seeds and any crash reproducers kept there) through the targets' code.

#include "../../fuzz/TelemetryFuzzBodies.h"
#include "core/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

size_t replay(const char* target, void (*body)(const uint8_t*, size_t)) {
    const auto dir = std::filesystem::path(NURA_SOURCE_DIR) / "fuzz" / "corpus" / target;
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream f(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)),
                                         std::istreambuf_iterator<char>());
        body(bytes.data(), bytes.size());
        // Every prefix too: truncation at each byte must be as harmless as the whole file.
        for (size_t cut = 0; cut < bytes.size(); cut += 7) {
            body(bytes.data(), cut);
        }
        ++n;
    }
    return n;
}

} // namespace

TEST(TelemetryFuzzCorpus, ReaderAndNmeaTakeEveryCorpusFileAndItsPrefixes) {
    nura::LogCapture quiet;
    EXPECT_GE(replay("fuzz_telemetry_reader", nura::fuzz::telemetryReader), 2u);
    EXPECT_GE(replay("fuzz_nmea", nura::fuzz::nmea), 5u);
}
