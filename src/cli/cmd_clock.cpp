// nura clock FILE ["YYYY-MM-DD HH:MM:SS"]: writes the camera's clock file (timeset.cfg). The time is the
// camera's local time as given, with no time-zone conversion; without one, the computer's local time now.

#include "cli/commands.h"
#include "core/card/ClockFile.h"

#include <cstdio>
#include <string>

using namespace nura;

int runClock(const CliArgs& args) {
    if (args.empty() || args.size() > 2 || args[0].empty() || args[0][0] == '-') {
        std::fprintf(stderr, "usage: nura clock FILE [\"YYYY-MM-DD HH:MM:SS\"]\n");
        return exitcode::kUsage;
    }
    ClockTime time = localClockNow();
    if (args.size() == 2) {
        const auto given = parseClockArgument(args[1]);
        if (!given) {
            std::fprintf(stderr,
                         "nura clock: '%s' is not a real date and time in the form YYYY-MM-DD HH:MM:SS\n",
                         args[1].c_str());
            return exitcode::kUsage;
        }
        time = *given;
    }
    const std::string failure = writeClockFile(args[0], time);
    if (!failure.empty()) {
        std::fprintf(stderr, "nura clock: cannot write %s: %s\n", args[0].c_str(), failure.c_str());
        return exitcode::kCannotAccess;
    }
    std::printf("%s\n", clockText(time).c_str());
    return exitcode::kDone;
}
