// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A lossless cut of one camera's recording: the frames from the last key frame at or before the start
// to the last frame at or before the end, copied byte for byte into a new file in the camera's own
// layout, with the telemetry (and any sound) of the same span. An end past the recording's end goes on
// into the following recordings of the same camera while each joins the previous within two seconds.
// The new file appears only when whole; a failure or a cancel leaves nothing behind.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nura {

enum class ClipStatus {
    Done,
    BadSpan,       // start after end, negative, or past the recording's end
    CannotRead,    // the input or a following recording cannot be read
    NotRecording,  // not a recording with a whole index, or its index points past its end
    OtherSettings, // a following recording was made with other codec settings
    OutputExists,
    OutputIsInput,
    CannotWrite,
    Cancelled,
    Unavailable, // the media helper that re-encodes cannot be run
};

struct ClipOptions {
    std::string input;
    std::string output;
    double start = 0; // seconds from the start of `input`
    double end = 0;
    bool force = false; // replace an existing output (never the input)
    std::function<bool()> cancelled;
    std::function<void(uint64_t done, uint64_t total)> progress; // bytes of media data
};

// One recording of a clip's chain and where it lies on the first one's timeline.
struct ClipPiece {
    std::string path;
    double offset = 0;   // seconds from the start of the first recording to this one's start
    double duration = 0; // its video's length in seconds
};

struct ClipResult {
    ClipStatus status = ClipStatus::Done;
    std::string message;
    std::vector<std::string> sources; // the recordings the clip takes frames from, in order
    double firstFrame = 0;            // seconds from the start of the input to the clip's first frame
    double duration = 0;              // seconds of video in the clip
    uint64_t frames = 0;
};

// Where a chain of recordings stopped: `stop` is Done when it ended as it should, else CannotRead or
// NotRecording for the recording at `path`, for `reason`; `pieces` is empty when that recording was
// the first.
struct ClipChain {
    std::vector<ClipPiece> pieces;
    ClipStatus stop = ClipStatus::Done;
    std::string path;
    std::string reason;
};

class LosslessClip {
public:
    // How far a recording's name time may lie from the end of the one before for a clip to go on.
    static constexpr double kJoinSeconds = 2.0;

    static ClipResult cut(const ClipOptions& options);

    // The recording and those that follow it on the same camera, joined within two seconds, as far as
    // needed to reach `until` seconds; durations come from each file's index. Stops before a recording
    // whose name time does not join; one that joins but cannot be used (cut short, unreadable) also
    // ends the chain, and is described in `refused` when given.
    static std::vector<ClipPiece> chain(const std::string& path, double until,
                                        std::string* refused = nullptr);
    // The same, with the reason when the first recording itself cannot be used.
    static ClipChain chainFrom(const std::string& path, double until);

    // The name a clip of `input` starting `offset` seconds in would have as an event recording
    // ("event_20230115_083107_F.MP4"); nothing when the input's name carries no time.
    static std::optional<std::string> recordingName(const std::string& input, double offset);
    // The name of a lossless clip of `input` from `start`: that of its first frame, the key frame
    // shown at or before `start`, which may lie seconds earlier.
    static std::optional<std::string> defaultName(const std::string& input, double start);

    // Lines to show the user when `output`'s name pairs with or takes the place of another recording
    // in its folder, as the recordings list files them.
    static std::vector<std::string> namingWarnings(const std::string& output);
};

} // namespace nura
