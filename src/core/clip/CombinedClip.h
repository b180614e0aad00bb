// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shareable clip: one re-encoded video of the front and the rear camera, with the car's data drawn
// in. This side finds the partner recording and the following ones, reads their telemetry for the band,
// writes the plan for the media helper (`nura-media clip`, which holds the FFmpeg libraries), lets it
// write into a temporary file beside the output, and puts that in place when whole, with a GPX file of
// the clip's fixes beside it.

#include "core/clip/ClipPlan.h"
#include "core/clip/LosslessClip.h"

#include <functional>
#include <optional>
#include <string>

namespace nura {

struct CombinedClipOptions {
    std::string input; // a front or a rear recording
    std::string output;
    double start = 0, end = 0; // seconds from the start of `input`
    bool force = false;
    ClipLook look;
    bool gpx = true;
    bool showProgress = false; // the helper writes progress to its standard error (a terminal)
    std::function<bool()> cancelled;
    std::function<void(double fraction)> progress; // from the helper, about four times a second
};

struct CombinedClipResult {
    ClipStatus status = ClipStatus::Done;
    std::string message;
    std::string gpxPath; // empty when none was written
};

class CombinedClip {
public:
    // `helper` is nura-media (findMediaHelper()). Runs the helper on the calling thread, which must live
    // until this returns.
    static CombinedClipResult make(const CombinedClipOptions& options, const std::string& helper);
    // The other camera's file of the same recording in the same folder, or empty.
    static std::string partnerOf(const std::string& path);
    // "clip_20230115_083107.mp4" for a clip of `input` starting `offset` seconds in: a video of both
    // cameras is not a recording, and the prefix keeps it out of the recordings list. Nothing when the
    // input's name carries no time.
    static std::optional<std::string> defaultName(const std::string& input, double offset);
};

} // namespace nura
