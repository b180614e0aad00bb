// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Rebuilds the index of a recording cut short by a power loss: its media data is walked with the
// settings of a whole recording of the same camera (the reference), and a new file in the camera's
// layout is written beside it. The input is never written.

#include "core/repair/MediaDataWalker.h"

#include <functional>
#include <string>
#include <vector>

namespace nura {

enum class RepairStatus {
    Repaired,
    NothingToRepair,    // the file is whole
    CannotRead,         // the input or the reference cannot be read
    NotRecording,       // not the camera's layout
    NoReference,        // no whole recording of the same side and mode was found
    ReferenceOtherSide, // the given reference is of the other camera
    ReferenceUnusable,  // the given reference is not a whole recording that decodes
    ReferenceMismatch,  // made with another picture size, frame rate or codec settings
    DoesNotDecode,      // the recovered frames do not decode with the reference's settings
    NothingRecovered,   // not one whole frame before the cut
    OutputExists,       // refused without force
    OutputIsInput,      // the output is the input or a reference, by any name
    OutputNotRegular,   // a FIFO, device or folder where the output would go
    CannotWrite,
    DecoderMissing, // the trial decode could not be run
    Cancelled,      // stopped on request; nothing was written
};

enum class TrialDecode { Decodes, Fails, Unavailable };

struct RepairOptions {
    std::string input;
    std::string reference; // empty: chosen among the recordings around the input
    std::string output;    // empty: "repaired/NAME" beside the input
    bool force = false;    // replace an existing output
    // Decodes the first frames of a file; unset: no trial decode.
    std::function<TrialDecode(const std::string& path)> trialDecode;
    // Optional: starts the decode of a path whose answer trialDecode() will be asked for later, so
    // that it runs while the media data is walked.
    std::function<void(const std::string& path)> trialDecodeAhead;
    // Optional: asked between the steps and the samples; true stops the repair with nothing written.
    std::function<bool()> cancelled;
};

struct RepairResult {
    RepairStatus status = RepairStatus::CannotRead;
    std::string message; // one line for the user; for Repaired, what came back
    std::string output;
    std::string reference;
    MediaDataWalker::Result walk;
    uint64_t mediaStart = 0;
    uint64_t inputSize = 0;
    bool soundLeftOut = false;
};

class RecordingRepair {
public:
    static RepairResult repair(const RepairOptions& options);

    // "DIR/repaired/NAME" for "DIR/NAME".
    static std::string defaultOutput(const std::string& input);
    // Whole recordings that may serve as reference, best first: same side and mode, the latest
    // before the input in list order, then the earliest after; the input's folder first, then the
    // tree of the folder above it. Not yet checked for being whole.
    static std::vector<std::string> referenceCandidates(const std::string& input);
};

} // namespace nura
