#include "cli/commands.h"

#include <cstdio>

int runConfig(const CliArgs&) {
    std::fprintf(stderr, "nura config: not available yet\n");
    return 2;
}
