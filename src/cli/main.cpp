// nura: the command-line twin of the viewer, for scripts, tests and power users.

#include "cli/commands.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

struct Command {
    const char* name;
    int (*run)(const CliArgs&);
    const char* usage;
};

const Command kCommands[] = {
    {"list", runList, "list DIR [--json]            recordings below DIR, sorted and paired"},
    {"telemetry", runTelemetry, "telemetry FILE.mp4 [--format text|csv|json|gpx]  a recording's telemetry"},
    {"config", runConfig,
     "config show|reset|set FILE ...  the camera's settings file (config.bin); set checks values unless "
     "--raw"},
    {"card", runCard, "card list                    mounted USB volumes and the camera's card"},
    {"drive", runDrive, "drive FILE [--format text|csv]  the camera's drive records (DrvInfo/nura_000.drv)"},
    {"clock", runClock, "clock FILE [\"YYYY-MM-DD HH:MM:SS\"]  write the camera's clock file (timeset.cfg)"},
};

void printUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: nura COMMAND [ARGS]\n"
                 "  or:  nura --help | --version\n\n"
                 "The command-line twin of nura-viewer: the recordings, telemetry and settings of a dash\n"
                 "camera's card, for scripts.\n\nCommands:\n");
    for (const auto& c : kCommands) {
        std::fprintf(out, "  %s\n", c.usage);
    }
    std::fprintf(out, "\n%s", kExitStatusTable);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return exitcode::kUsage;
    }
    const std::string_view name = argv[1];
    if (name == "--version") {
        std::printf("nura %s\n", NURA_VERSION);
        return exitcode::kDone;
    }
    if (name == "-h" || name == "--help" || name == "help") {
        printUsage(stdout);
        return exitcode::kDone;
    }
    for (const auto& c : kCommands) {
        if (name == c.name) {
            return c.run(CliArgs(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "nura: unknown command '%s'\n", argv[1]);
    printUsage(stderr);
    return exitcode::kUsage;
}
