#include "cli/commands.h"

#include <cstdio>

int runCard(const CliArgs&) {
    std::fprintf(stderr, "nura card: not available yet\n");
    return 2;
}
