#include "cli/commands.h"

#include <cstdio>

int runTelemetry(const CliArgs&) {
    std::fprintf(stderr, "nura telemetry: not available yet\n");
    return 2;
}
