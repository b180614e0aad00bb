// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plan of a re-encoded clip, which `nura` (and the viewer) hand to the media helper `nura-media clip`
// on its standard input: where the video goes, the span, the picture and sound chosen, the recordings
// of both cameras in order, and the records the data band shows. Written and read here only, so both
// programs agree on every value and every default.
//
// The text is one item a line, each value quoted (see QuotedWords.h), so that any byte of a path,
// a line end included, reads back as it was written:
//   nura-clip-plan "1"
//   out "PATH"                            the caller's temporary file
//   span "START" "END"                    seconds on the front's timeline
//   layout "pip|side|front|rear"  corner "tl|tr|bl|br"  sound "auto|none|front|rear"
//   mirror "0|1"  overlay "0|1"  crf "N"  preset "NAME"  clock "SECONDS"  report "0|1"
//   front "PATH" "OFFSET" "DURATION"      rear "PATH" "OFFSET" "DURATION"  (in order)
//   data "OFFSET" "DURATION"              one recording's telemetry, then its records:
//   record "SPEED" "kmh|mph" "GX" "GY" "GZ"
//   end

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nura {

enum class ClipLayout {
    Inset,      // "pip": the rear picture inset in a corner of the front
    SideBySide, // "side"
    Front,      // "front": the front camera alone
    Rear,       // "rear": the rear camera alone
};
enum class ClipCorner { TopLeft, TopRight, BottomLeft, BottomRight };
enum class ClipSound {
    Auto, // the front's sound, else the rear's
    None,
    Front,
    Rear,
};

// The words of the command line and of the plan.
const char* wordFor(ClipLayout layout);
const char* wordFor(ClipCorner corner);
const char* wordFor(ClipSound sound);
std::optional<ClipLayout> clipLayoutNamed(std::string_view word);
std::optional<ClipCorner> clipCornerNamed(std::string_view word);
std::optional<ClipSound> clipSoundNamed(std::string_view word);

// What the user chooses about a clip's picture and sound; these defaults are those of `nura clip`
// and of the viewer.
struct ClipLook {
    ClipLayout layout = ClipLayout::Inset;
    ClipCorner corner = ClipCorner::BottomRight;
    ClipSound sound = ClipSound::Auto;
    bool mirrorRear = false;
    bool overlay = true;
    int quality = 20; // the encoder's constant rate factor, 0 to 51, lower is better
};

// One recording of a camera's part of the clip, placed on the front's timeline.
struct ClipSource {
    std::string path;
    double offset = 0;   // seconds from the start of the first front recording to this one's start
    double duration = 0; // its video's length: past it this camera shows nothing
};

struct BandRecord {
    double speed = 0; // in the record's unit
    bool kmh = true;
    float gx = 0, gy = 0, gz = 0;
};

// One recording's records, spread over its duration as playback spreads them.
struct BandData {
    double offset = 0, duration = 0;
    std::vector<BandRecord> records;
};

struct ClipPlan {
    // The x264 preset. veryfast makes files about 45% smaller than superfast at the same quality (13 MB
    // against 24 MB for a minute of 1080p with the rear inset), which counts for a clip sent by mail,
    // and still renders 2.5 to 3 times faster than real time on two shared cores (bench/clip_speed.py).
    static constexpr const char* kPreset = "veryfast";
    // A plan holds at most this many band records: ten hours at ten a second.
    static constexpr size_t kMaxRecords = 360000;

    std::string out;
    double start = 0, end = 0;
    ClipLook look;
    std::string preset = kPreset;
    long long clock = 0; // the front's name time, seconds since 1970 as on the camera's clock
    bool report = false; // "done FRACTION" lines on the helper's standard output as the work goes
    std::vector<ClipSource> front, rear;
    std::vector<BandData> data;

    std::string encode() const;
    // The plan `text` holds, or nothing with `error` saying what does not hold together.
    static std::optional<ClipPlan> decode(std::string_view text, std::string& error);
    // True when `text` ends with the plan's last line, so a reader of a stream knows it has it all.
    static bool isComplete(std::string_view text);
};

} // namespace nura
