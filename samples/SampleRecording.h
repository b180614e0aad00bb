// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recordings in the camera's layout for the demo card and the tests: frames made here and the
// scripted drive's records, written by the core's camera-layout writer. The video and the telemetry
// chunks are interleaved as the camera does (each record after its share of frames); every
// telemetry chunk is 2 bytes (the record length, big-endian) and one 153-byte record.

#include "core/mp4/CameraMp4Writer.h"
#include "core/telemetry/ORBTelemetryRecord.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace samples {

struct VideoFrame {
    std::vector<std::byte> avcc; // NAL units, each with a 4-byte big-endian length
    bool key = false;
};

// AAC-LC frames of 1024 samples each, as a sound track holds them.
struct EncodedAudio {
    int sampleRate = 0; // 0: no sound
    int channels = 1;
    std::vector<std::vector<std::byte>> frames;
};

struct EncodedVideo {
    int width = 0;
    int height = 0;
    int fps = 30;
    std::vector<std::byte> sps;
    std::vector<std::byte> pps;
    std::vector<VideoFrame> frames;
    EncodedAudio audio; // written as a sound track in the place of the movie's "free" box
};

// Stand-in frames (not decodable) for tests that only read the telemetry: tiny and instant.
EncodedVideo placeholderVideo(int width, int height, int fps, size_t frameCount);

// Where each box landed, for tests that cut or patch the file at box boundaries.
using BoxPlacement = nura::Mp4BoxPlacement;

struct CameraMp4 {
    std::vector<std::byte> bytes;
    std::vector<BoxPlacement> boxes;
    std::vector<uint32_t> dataChunkOffsets;

    const BoxPlacement* box(const std::string& path) const;
};

// Frames and records are spread evenly over the same duration; the data track has one record per chunk.
CameraMp4 buildCameraMp4(const EncodedVideo& video, std::span<const nura::ORBTelemetryRecord> records,
                         uint32_t recordsPerSecond = 10);

// The same recording streamed to a file.
bool writeCameraMp4(const std::filesystem::path& path, const EncodedVideo& video,
                    std::span<const nura::ORBTelemetryRecord> records, uint32_t recordsPerSecond = 10);

bool writeFile(const std::filesystem::path& path, std::span<const std::byte> bytes);

} // namespace samples
