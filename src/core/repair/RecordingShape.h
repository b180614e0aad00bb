// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a file is a whole recording, one cut short before its index was written, or neither. Reads
// only the top-level box headers (a few bytes each), so it is cheap enough for a list's tooltip.

#include "core/telemetry/ORBByteSource.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nura {

struct RecordingShape {
    enum class Kind {
        Whole,        // a movie box lies whole in the file
        Cut,          // "ftyp", media data, and no whole movie box after it
        NotRecording, // not the camera's layout at all
        Unreadable,
    };
    Kind kind = Kind::NotRecording;
    uint64_t mediaStart = 0;         // first byte of the media data (Cut)
    std::vector<std::byte> fileType; // the whole "ftyp" box

    static RecordingShape inspect(ORBByteSource& source);
    static RecordingShape inspect(const std::string& path);
};

} // namespace nura
