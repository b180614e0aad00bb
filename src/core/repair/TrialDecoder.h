// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The trial decode of a recording's first frames, run by the media helper program nura-media (which
// carries the FFmpeg libraries, so that nura and the viewer start without them). One helper process
// serves a whole repair: it is started first, loads its libraries while the repair reads, and answers
// each path it is sent.

#include "core/repair/RecordingRepair.h"

#include <cstdio>
#include <optional>
#include <string>
#include <sys/types.h>

namespace nura {

class TrialDecoder {
public:
    static constexpr int kFrames = 10;

    // nura-media beside the running program (a build folder) or in ../libexec/nura (an installation).
    static std::optional<std::string> findHelper();

    explicit TrialDecoder(std::string helper);
    ~TrialDecoder(); // ends the helper
    TrialDecoder(const TrialDecoder&) = delete;
    TrialDecoder& operator=(const TrialDecoder&) = delete;

    // Decodes up to kFrames frames of `path`; Unavailable when the helper cannot be run.
    TrialDecode check(const std::string& path);
    // Starts the decode of `path` without waiting; the next check() of the same path collects it.
    void ahead(const std::string& path);

private:
    bool start();
    void stop();
    bool send(const std::string& path);
    TrialDecode answer();
    std::string m_pending;
    std::string m_helper;
    pid_t m_pid = -1;
    int m_socket = -1;
    FILE* m_from = nullptr; // reads the helper's answers from m_socket
};

} // namespace nura
