// SPDX-License-Identifier: GPL-3.0-or-later
// make_recording: writes one recording in the camera's layout, with real H.264 video and the
// telemetry of the scripted drive. `make_recording --help` says how.
// With NURA_SAMPLE_SCENE=road in the environment (the demo card) the pictures show a drawn road that
// moves as the scripted car does, instead of the test patterns.

#include "DriveScript.h"
#include "H264Encoder.h"
#include "SampleRecording.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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

constexpr const char* kUsage =
    "usage: make_recording OUT.mp4 [--rear] [--seconds N] [--start YYYYMMDD_HHMMSS]\n"
    "       [--drive-start YYYYMMDD_HHMMSS] [--size WxH] [--unit C] [--placeholder-video]\n"
    "       [--fps N] [--frame-numbers] [--audio]\n";

int usage(const char* why) {
    std::fprintf(stderr, "make_recording: %s\n%s", why, kUsage);
    return 2;
}

int help() {
    std::fputs(kUsage, stdout);
    std::fputs("\nWrites one recording in the camera's layout to OUT.mp4 (a name starting with '-' needs a\n"
               "folder in front, as in ./-x.mp4).\n"
               "  --rear               the rear camera's picture (1280x720 unless --size)\n"
               "  --seconds N          length, 1 to 3600 (6)\n"
               "  --fps N              frames a second, 1 to 120 (30)\n"
               "  --start T            the recording's start, UTC (20230115_083000)\n"
               "  --drive-start T      when the scripted drive starts, UTC; the file covers it from\n"
               "                       start - drive start on (08:30:00 of the recording's day)\n"
               "  --size WxH           picture size (1920x1080 front)\n"
               "  --unit C             the speed-unit character of each record ('9' = km/h)\n"
               "  --placeholder-video  stand-in frames instead of encoded video\n"
               "  --frame-numbers      each picture's frame number drawn as twelve bands of bits\n"
               "  --audio              a sound track (an AAC tone)\n",
               stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return help();
        }
    }
    // An option in the output's place would otherwise become a file of that name.
    if (argc < 2 || argv[1][0] == '-' || argv[1][0] == '\0') {
        return usage("the first argument is the recording to write");
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
    bool driveStartGiven = false;
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
                return usage("--start takes YYYYMMDD_HHMMSS");
            }
        } else if (a == "--drive-start" && hasValue) {
            if (!parseStamp(argv[++i], driveStart)) {
                return usage("--drive-start takes YYYYMMDD_HHMMSS");
            }
            driveStartGiven = true;
        } else if (a == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2) {
                return usage("--size takes WxH");
            }
        } else if (a == "--unit" && hasValue) {
            unit = argv[++i][0];
        } else {
            std::fprintf(stderr, "make_recording: unknown option or missing value: %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (seconds <= 0 || seconds > 3600 || fps < 1 || fps > 120) {
        return usage("--seconds is 1 to 3600 and --fps 1 to 120");
    }
    // The drive is simulated from its start, so a drive years before the recording would take minutes
    // to reach it: by default the drive starts at 08:30:00 on the recording's own day.
    if (!driveStartGiven) {
        driveStart = {start.year,      start.month,       start.day,
                      driveStart.hour, driveStart.minute, driveStart.second};
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
        // The demo card asks for the drawn road with NURA_SAMPLE_SCENE=road; tests keep the test patterns.
        const char* scene = std::getenv("NURA_SAMPLE_SCENE");
        const bool road = scene != nullptr && std::string_view(scene) == "road";
        samples::EncodeRequest request{width, height, fps, seconds,
                                       road ? (rear ? "road-rear" : "road")
                                            : (rear ? "smptebars" : "testsrc2")};
        request.frameNumbers = frameNumbers;
        if (road) {
            // The road moves as the scripted car does: the speed summed a picture at a time from the drive's
            // start, so that the pictures of back-to-back recordings follow on at their joins.
            const double offset = static_cast<double>(samples::DriveScript::secondsSinceEpoch(start) -
                                                      samples::DriveScript::secondsSinceEpoch(driveStart));
            const double step = 1.0 / fps;
            double metres = 0;
            for (int n = 0; offset > 0 && offset < 6 * 3600 && n * step < offset; ++n) {
                metres += samples::DriveScript::speedKmhAt(n * step) / 3.6 * step;
            }
            std::vector<double> at(static_cast<size_t>(seconds) * fps);
            for (size_t n = 0; n < at.size(); ++n) {
                at[n] = metres;
                metres +=
                    samples::DriveScript::speedKmhAt(std::max(offset, 0.0) + static_cast<double>(n) * step) /
                    3.6 * step;
            }
            request.roadMetres = [at](int n) { return at[std::min(static_cast<size_t>(n), at.size() - 1)]; };
        }
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
