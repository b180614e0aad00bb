// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The subcommands of `nura`. Each returns one of the exit statuses below, which mean the same in every
// subcommand.

#include "core/clip/ClipPlan.h"

#include <optional>
#include <string>
#include <vector>

namespace exitcode {
inline constexpr int kDone = 0;         // the work is done
inline constexpr int kCannotAccess = 1; // a file or folder cannot be read or written
inline constexpr int kNotOurFile = 2;   // not a regular file, not this camera's file, or cut short
inline constexpr int kUsage = 64;       // bad usage or a bad value on the command line (EX_USAGE)
inline constexpr int kUnavailable = 69; // a service the command needs is missing (EX_UNAVAILABLE)
} // namespace exitcode

// The table as `nura --help` and the README show it.
inline constexpr const char* kExitStatusTable =
    "Exit status:\n"
    "  0   done\n"
    "  1   a file or folder cannot be read or written (a missing file, a full disk, an I/O\n"
    "      error, a read-only file; a file being written keeps its old contents)\n"
    "  2   the file is not what the command reads: a FIFO, device or folder (\"not a regular\n"
    "      file\"), or not the camera's file (the message says \"truncated\" when it is cut short)\n"
    "  64  bad usage or a bad value on the command line\n"
    "  69  a service the command needs is missing\n";

// The subcommands, each with its arguments already parsed and checked for form by the command line.
int runList(const std::string& dir, bool json, bool drives = false);
int runTelemetry(const std::string& path, const std::string& format);
int runConfigShow(const std::string& path, bool json);
int runConfigReset(const std::string& path, bool force);
int runConfigSet(const std::string& path, const std::vector<std::string>& assignments, bool raw);
int runCardList();
int runDrive(const std::string& path, const std::string& format);
int runClock(const std::string& path, const std::optional<std::string>& when);
// Empty `reference` and `output` take the defaults.
int runRepair(const std::string& path, const std::string& reference, const std::string& output, bool force);
// nura clip: a lossless cut (`copy`) or one re-encoded video of both cameras.
struct ClipArguments {
    std::string file;
    double start = 0, end = 0;
    std::string output; // empty: a name made from the clip's first moment
    bool copy = false;
    bool force = false;
    nura::ClipLook look; // the re-encoded clip's picture and sound
    bool gpx = true;
};
int runClip(const ClipArguments& arguments);
int runCombinedClip(const ClipArguments& arguments);
// `gapMinutes` is positive and finite.
int runTrip(const std::string& dir, const std::string& format, double gapMinutes);
