#pragma once
// The trial decode of a recording's first frames, run by the media helper program nura-media (which
// carries the FFmpeg libraries, so that nura and the viewer start without them).

#include "core/repair/RecordingRepair.h"

#include <optional>
#include <string>

namespace nura {

class TrialDecoder {
public:
    static constexpr int kFrames = 10;

    // nura-media beside the running program (a build folder) or in ../libexec/nura (an installation).
    static std::optional<std::string> findHelper();
    // Decodes up to kFrames frames of `path` with `helper`; Unavailable when it cannot be started.
    static TrialDecode run(const std::string& helper, const std::string& path);
};

} // namespace nura
