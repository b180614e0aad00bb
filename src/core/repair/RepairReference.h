// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The reference recording a repair takes its settings from, and whether it fits the cut file: its
// picture size, frame rate and codec settings against what the cut file's first seconds tell.

#include "core/mp4/Mp4Movie.h"
#include "core/repair/MediaDataWalker.h"
#include "core/repair/ParameterSets.h"
#include "core/telemetry/ORBByteSource.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nura::repair {

// What a repair takes from its reference.
struct Reference {
    Mp4Movie movie;
    int video = -1;
    int data = -1; // the telemetry track, or -1
    MediaDataPattern pattern;
    std::optional<ParameterSets> sets; // from its sample entry
    double framesPerRecord = 0;        // 0: no telemetry to tell the frame rate by
    double framesPerSecond = 0;
    double recordsPerSecond = 0;
};

// How loadReference's reason begins when the card refused a read, rather than the file being unfit.
constexpr std::string_view kRefusedRead = "cannot be read: ";

// A whole recording that the telemetry reader accepts, with H.264 video; the reason when not.
std::optional<Reference> loadReference(const std::string& path, std::string& why);

// What the first seconds of the cut file tell of how it was recorded: its own parameter sets, where the
// camera repeats them in the frames, and how many frames come to a telemetry record.
struct CutSettings {
    ParameterSets sets;
    size_t frames = 0;
    size_t records = 0;
};

// Reads the cut file's first seconds from `mediaStart` on, until `cancelled`.
CutSettings probeCut(const MediaDataPattern& pattern, ORBFileByteSource& source, uint64_t mediaStart,
                     const std::function<bool()>& cancelled);

// How the reference differs from the cut file in picture size, frame rate or codec settings, in words
// that follow "the reference X"; nothing when it matches as far as the cut file tells.
std::optional<std::string> settingsDiffer(const Reference& ref, const CutSettings& cut);

} // namespace nura::repair
