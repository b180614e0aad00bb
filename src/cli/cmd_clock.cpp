// SPDX-License-Identifier: GPL-3.0-or-later
// nura clock FILE ["YYYY-MM-DD HH:MM:SS"]: writes the camera's clock file (timeset.cfg). The time is the
// camera's local time as given, with no time-zone conversion; without one, the computer's local time now.

#include "cli/FileMessages.h"
#include "cli/commands.h"
#include "core/card/ClockFile.h"

#include <cstdio>
#include <string>

using namespace nura;

int runClock(const std::string& path, const std::optional<std::string>& when) {
    ClockTime time = localClockNow();
    if (when) {
        const auto given = parseClockArgument(*when);
        if (!given) {
            std::fprintf(stderr,
                         "nura clock: '%s' is not a real date and time in the form YYYY-MM-DD HH:MM:SS\n",
                         when->c_str());
            return exitcode::kUsage;
        }
        time = *given;
    }
    if (const FileStatus status = saveClockFile(path, time); !status.ok()) {
        return reportFileFailure("nura clock", "write", path, status);
    }
    std::printf("%s\n", clockText(time).c_str());
    return exitcode::kDone;
}
