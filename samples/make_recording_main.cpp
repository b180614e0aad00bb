// SPDX-License-Identifier: GPL-3.0-or-later
// make_recording: writes one recording in the camera's layout, with real H.264 video and the
// telemetry of the scripted drive.
//
// usage: make_recording OUT.mp4 [--rear] [--seconds N] [--start YYYYMMDD_HHMMSS]
//                               [--drive-start YYYYMMDD_HHMMSS] [--size WxH] [--unit C] [--placeholder-video]
//                               [--fps N] [--frame-numbers] [--audio]
// --frame-numbers draws each picture's frame number as twelve bands of bits, for pairing checks;
// --audio adds a sound track (an AAC tone) in the place of the movie's "free" box.
// The file covers the drive from (start - drive start) on; both default to 2023-01-15 08:30:00.

#include "DriveScript.h"
#include "H264Encoder.h"
#include "SampleRecording.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool parseStamp(const std::string& text, samples::UtcTime& t) {
    int y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%4d%2d%2d_%2d%2d%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) {
        return false;
    }
    t = {y, mo, d, h, mi, s};
    return true;
}

int usage() {
    std::fprintf(stderr,
                 "usage: make_recording OUT.mp4 [--rear] [--seconds N] [--start YYYYMMDD_HHMMSS]\n"
                 "       [--drive-start YYYYMMDD_HHMMSS] [--size WxH] [--unit C] [--placeholder-video]\n"
                 "       [--fps N] [--frame-numbers] [--audio]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return usage();
    }
    const std::string out = argv[1];
    bool rear = false;
    bool placeholder = false;
    bool frameNumbers = false;
    bool audio = false;
    int fps = 30;
    int seconds = 6;
    int width = 0, height = 0;
    char unit = '9';
    samples::UtcTime start, driveStart;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--rear") {
            rear = true;
        } else if (a == "--audio") {
            audio = true;
        } else if (a == "--frame-numbers") {
            frameNumbers = true;
        } else if (a == "--fps" && hasValue) {
            fps = std::atoi(argv[++i]);
        } else if (a == "--placeholder-video") {
            placeholder = true;
        } else if (a == "--seconds" && hasValue) {
            seconds = std::atoi(argv[++i]);
        } else if (a == "--start" && hasValue) {
            if (!parseStamp(argv[++i], start)) {
                return usage();
            }
        } else if (a == "--drive-start" && hasValue) {
            if (!parseStamp(argv[++i], driveStart)) {
                return usage();
            }
        } else if (a == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2) {
                return usage();
            }
        } else if (a == "--unit" && hasValue) {
            unit = argv[++i][0];
        } else {
            return usage();
        }
    }
    if (seconds <= 0 || seconds > 3600 || fps < 1 || fps > 120) {
        return usage();
    }
    if (width <= 0 || height <= 0) {
        width = rear ? 1280 : 1920;
        height = rear ? 720 : 1080;
    }

    samples::EncodedVideo video;
    if (placeholder) {
        video = samples::placeholderVideo(width, height, fps, static_cast<size_t>(seconds * fps));
    } else {
        std::string error;
        samples::EncodeRequest request{width, height, fps, seconds, rear ? "smptebars" : "testsrc2"};
        request.frameNumbers = frameNumbers;
        auto encoded = samples::encodeTestPattern(request, &error);
        if (!encoded) {
            std::fprintf(stderr, "make_recording: %s\n", error.c_str());
            return 1;
        }
        video = std::move(*encoded);
    }
    if (audio) {
        std::string error;
        auto tone = samples::encodeTone(seconds, &error);
        if (!tone) {
            std::fprintf(stderr, "make_recording: %s\n", error.c_str());
            return 1;
        }
        video.audio = std::move(*tone);
    }
    const samples::DriveScript drive(driveStart);
    const auto records =
        drive.records(static_cast<double>(samples::DriveScript::secondsSinceEpoch(start) -
                                          samples::DriveScript::secondsSinceEpoch(driveStart)),
                      seconds, 10, unit);
    if (!samples::writeCameraMp4(out, video, records)) {
        std::fprintf(stderr, "make_recording: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
