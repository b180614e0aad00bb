// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The trial decode of a recording's first frames, run by the media helper program nura-media (which
// carries the FFmpeg libraries, so that nura and the viewer start without them). One helper process
// serves a whole repair: it is started first, loads its libraries while the repair reads, and answers
// each path it is sent. Create, use and drop a decoder on one thread (see HelperProcess).

#include "core/repair/RecordingRepair.h"
#include "core/util/HelperProgram.h"

#include <optional>
#include <string>

namespace nura {

class TrialDecoder {
public:
    static constexpr int kFrames = 10;

    // nura-media beside the running program (a build folder) or in ../libexec/nura (an installation).
    static std::optional<std::string> findHelper() { return findMediaHelper(); }

    explicit TrialDecoder(std::string helper);
    ~TrialDecoder(); // ends the helper
    TrialDecoder(const TrialDecoder&) = delete;
    TrialDecoder& operator=(const TrialDecoder&) = delete;

    // Decodes up to kFrames frames of `path`; Unavailable when the helper cannot be run.
    TrialDecode check(const std::string& path);
    // Starts the decode of `path` without waiting; the next check() of the same path collects it.
    void ahead(const std::string& path);

private:
    bool send(const std::string& path);
    TrialDecode answer();
    void stop();
    std::string m_pending;
    HelperProcess m_helper;
};

} // namespace nura
