// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long a recording plays, from its movie header alone: the top-level box headers, the movie box's
// child headers and its "mvhd", a handful of small reads, so a whole card's lengths are cheap to learn.
// A recording cut short by a power loss has media data but no movie box, so it has no length.

#include "core/telemetry/ORBByteSource.h"

#include <cstdint>
#include <string>

namespace nura {

struct RecordingLength {
    enum class Kind {
        Known,        // the movie header gives the length
        CutShort,     // media data and no whole movie box after it
        NotRecording, // no movie with a usable length
        Unreadable,   // the file cannot be opened, or the system refused a read
    };
    // Longer than any camera recording: a header that claims more is not believed.
    static constexpr int64_t kMaxMilliseconds = int64_t{24} * 3600 * 1000;

    Kind kind = Kind::NotRecording;
    int64_t milliseconds = 0; // Known only; above 0

    bool known() const { return kind == Kind::Known; }

    static RecordingLength read(ORBByteSource& source);
    static RecordingLength read(const std::string& path);
};

} // namespace nura
