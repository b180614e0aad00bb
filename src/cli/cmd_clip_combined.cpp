// The re-encoded clip of both cameras, made by the media helper nura-media.

#include "cli/commands.h"

#include <cstdio>

int runCombinedClip(const ClipArguments&) {
    std::fprintf(stderr, "nura clip: the re-encoded clip is not available in this build; use --copy\n");
    return exitcode::kUnavailable;
}
