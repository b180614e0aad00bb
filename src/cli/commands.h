#pragma once
// The subcommands of `nura`. Each takes the arguments after its own name and returns one of the
// exit statuses below, which mean the same in every subcommand.

#include <string>
#include <vector>

using CliArgs = std::vector<std::string>;

namespace exitcode {
inline constexpr int kDone = 0;         // the work is done
inline constexpr int kCannotAccess = 1; // a file or folder cannot be read or written
inline constexpr int kNotOurFile = 2;   // not this camera's recording, not a 500-byte settings file
inline constexpr int kUsage = 64;       // bad usage or a bad value on the command line (EX_USAGE)
inline constexpr int kUnavailable = 69; // a service the command needs is missing (EX_UNAVAILABLE)
} // namespace exitcode

// The table as `nura --help` and the README show it.
inline constexpr const char* kExitStatusTable =
    "Exit status:\n"
    "  0   done\n"
    "  1   a file or folder cannot be read or written\n"
    "  2   the file is not what the command reads (the message says "
    "\"truncated\" when it is cut short)\n"
    "  64  bad usage or a bad value on the command line\n"
    "  69  a service the command needs is missing\n";

int runList(const CliArgs& args);
int runTelemetry(const CliArgs& args);
int runConfig(const CliArgs& args);
int runCard(const CliArgs& args);
int runDrive(const CliArgs& args);
int runClock(const CliArgs& args);
