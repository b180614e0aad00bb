// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real H.264 video for the sample recordings: the ffmpeg command-line tool encodes a test pattern
// with libx264 into an Annex B stream, which is split here into frames for our own muxer.

#include "SampleRecording.h"

#include <functional>
#include <optional>
#include <span>
#include <string>

namespace samples {

struct EncodeRequest {
    int width = 1920;
    int height = 1080;
    int fps = 30;
    int seconds = 6;
    // An ffmpeg test source (testsrc, testsrc2, smptebars, ...), or "road" and "road-rear": the drawn
    // road of RoadScene, as the front and the rear camera see it.
    std::string pattern = "testsrc2";
    // Instead of the pattern, every picture shows its frame number: twelve bands across the width,
    // band k white when bit k of the number is set (read back after scaling and re-encoding).
    bool frameNumbers = false;
    // For the road: how far the car has gone at each picture, in metres; empty: a steady 18 m/s.
    std::function<double(int frame)> roadMetres = {};
};

// Needs `ffmpeg` on the PATH. A key frame starts every second; there are no B-frames.
std::optional<EncodedVideo> encodeTestPattern(const EncodeRequest& request, std::string* error);
// A tone of `seconds` as AAC-LC at 48 kHz, mono, made by the ffmpeg tool.
std::optional<EncodedAudio> encodeTone(int seconds, std::string* error);

// Splits an Annex B stream with access-unit delimiters into frames, parameter sets kept apart.
std::optional<EncodedVideo> splitAnnexB(std::span<const std::byte> stream, std::string* error);

} // namespace samples
